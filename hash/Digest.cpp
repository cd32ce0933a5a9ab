#include "hash/Digest.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>

struct HashSink::State {
  HashAlgorithm algorithm;
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context{EVP_MD_CTX_new(), &EVP_MD_CTX_free};
};

namespace {

const EVP_MD* MethodOf(HashAlgorithm algorithm) {
  switch (algorithm) {
    case HashAlgorithm::kMd5: return EVP_md5();
    case HashAlgorithm::kSha1: return EVP_sha1();
    case HashAlgorithm::kSha256: return EVP_sha256();
  }
  return EVP_sha256();
}

// What each algorithm is called where.
struct HashNames {
  HashAlgorithm algorithm;
  const char* name;
  const char* tag;
  const char* title;
};

constexpr HashNames kHashNames[] = {
    {HashAlgorithm::kMd5, "md5", "MD5", "MD5"},
    {HashAlgorithm::kSha1, "sha1", "SHA1", "SHA-1"},
    {HashAlgorithm::kSha256, "sha256", "SHA256", "SHA-256"},
};

const HashNames& NamesOf(HashAlgorithm algorithm) {
  for (const HashNames& names : kHashNames) {
    if (names.algorithm == algorithm) return names;
  }
  return kHashNames[2];
}

std::string Hex(const unsigned char* bytes, unsigned count) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(size_t{count} * 2);
  for (unsigned i = 0; i < count; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 15];
  }
  return text;
}

}  // namespace

const char* HashName(HashAlgorithm algorithm) { return NamesOf(algorithm).name; }

const char* HashTag(HashAlgorithm algorithm) { return NamesOf(algorithm).tag; }

const char* HashTitle(HashAlgorithm algorithm) { return NamesOf(algorithm).title; }

std::optional<HashAlgorithm> HashFromName(const std::string& name) {
  std::string plain;
  for (const char c : name) {
    if (c != '-') plain += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  for (const HashAlgorithm algorithm : kAllHashes) {
    if (plain == HashName(algorithm)) return algorithm;
  }
  return std::nullopt;
}

HashSink::HashSink(const std::vector<HashAlgorithm>& algorithms) {
  for (const HashAlgorithm algorithm : algorithms) {
    auto state = std::make_unique<State>();
    state->algorithm = algorithm;
    if (!state->context || EVP_DigestInit_ex(state->context.get(), MethodOf(algorithm), nullptr) != 1) {
      throw std::runtime_error(std::string("libcrypto cannot compute ") + HashTitle(algorithm) + " hashes.");
    }
    states_.push_back(std::move(state));
  }
}

HashSink::~HashSink() = default;

bool HashSink::Write(const uint8_t* data, size_t n) {
  for (const auto& state : states_) EVP_DigestUpdate(state->context.get(), data, n);
  bytes_ += n;
  return true;
}

bool HashSink::WriteZeros(uint64_t n) {
  static const uint8_t kZeros[65536] = {};
  while (n > 0) {
    const auto piece = static_cast<size_t>(std::min<uint64_t>(n, sizeof kZeros));
    Write(kZeros, piece);
    n -= piece;
  }
  return true;
}

std::vector<Digest> HashSink::Finish() {
  std::vector<Digest> digests;
  for (const auto& state : states_) {
    unsigned char value[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    EVP_DigestFinal_ex(state->context.get(), value, &length);
    digests.push_back({state->algorithm, Hex(value, length)});
  }
  return digests;
}
