#pragma once
// Hashes of what Brindle reads and saves, through OpenSSL's libcrypto: MD5, SHA-1 and SHA-256,
// as md5sum, sha1sum and sha256sum compute them. A HashSink takes the bytes of a streamed read
// (an entry's data, a save, the whole source) and computes every hash asked for in one pass.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fs/ByteSink.h"

enum class HashAlgorithm { kMd5, kSha1, kSha256 };

inline constexpr HashAlgorithm kAllHashes[] = {HashAlgorithm::kMd5, HashAlgorithm::kSha1, HashAlgorithm::kSha256};

// "md5", "sha1", "sha256": the names the command line takes.
const char* HashName(HashAlgorithm algorithm);
// "MD5", "SHA1", "SHA256": the tags of coreutils' --tag lines and of DFXML's hashdigest.
const char* HashTag(HashAlgorithm algorithm);
// "MD5", "SHA-1", "SHA-256": how the window's information list names them.
const char* HashTitle(HashAlgorithm algorithm);
// The algorithm a name stands for, in any case, with or without a hyphen ("SHA-256").
std::optional<HashAlgorithm> HashFromName(const std::string& name);

struct Digest {
  HashAlgorithm algorithm;
  std::string hex;  // lower-case hexadecimal
};

class HashSink final : public ByteSink {
 public:
  explicit HashSink(const std::vector<HashAlgorithm>& algorithms);
  ~HashSink() override;
  HashSink(const HashSink&) = delete;
  HashSink& operator=(const HashSink&) = delete;

  bool Write(const uint8_t* data, size_t n) override;
  bool WriteZeros(uint64_t n) override;
  // The hashes of every byte taken, in the order the algorithms were given. Once only.
  std::vector<Digest> Finish();
  uint64_t bytes() const { return bytes_; }

 private:
  struct State;
  std::vector<std::unique_ptr<State>> states_;
  uint64_t bytes_ = 0;
};
