#include "device/EvidenceMedia.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cctype>

#include "device/EvidenceOpeners.h"

namespace {

struct Signature {
  bool atEnd;  // in the last 512 bytes rather than the first
  std::string_view bytes;
  EvidenceFormat format;
};

// The signatures the formats begin with (a fixed VHD has its footer only at its end; a
// dynamic one has a copy of it at its start as well).
constexpr std::array kSignatures = {
    Signature{false, std::string_view("EVF\x09\x0d\x0a\xff\x00", 8), EvidenceFormat::kEwf},
    Signature{false, std::string_view("EVF2\x0d\x0a\x81\x00", 8), EvidenceFormat::kEwf},
    Signature{false, std::string_view("LVF\x09\x0d\x0a\xff\x00", 8), EvidenceFormat::kEwfLogical},
    Signature{false, std::string_view("LEF2\x0d\x0a\x81\x00", 8), EvidenceFormat::kEwfLogical},
    Signature{false, "vhdxfile", EvidenceFormat::kVhd},
    Signature{false, "conectix", EvidenceFormat::kVhd},
    Signature{true, "conectix", EvidenceFormat::kVhd},
    Signature{false, "KDMV", EvidenceFormat::kVmdk},
    Signature{false, "COWD", EvidenceFormat::kVmdk},
    Signature{false, "# Disk DescriptorFile", EvidenceFormat::kVmdk},
    Signature{false, std::string_view("QFI\xfb", 4), EvidenceFormat::kQcow},
};

constexpr size_t kHeadBytes = 64;
constexpr size_t kTailBytes = 512;

std::string ReadPart(int fd, uint64_t position, size_t count) {
  std::string bytes(count, '\0');
  const ssize_t got = ::pread(fd, bytes.data(), count, static_cast<off_t>(position));
  bytes.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return bytes;
}

bool Exists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

// Counts a run of characters one up, as an odometer does within its alphabet; false when it
// was at its last value.
bool CountUp(std::string& digits, char first, char last) {
  for (size_t i = digits.size(); i-- > 0;) {
    if (digits[i] != last) {
      ++digits[i];
      return true;
    }
    digits[i] = first;
  }
  return false;
}

}  // namespace

EvidenceFormat RecogniseEvidence(std::string_view head, std::string_view tail) {
  for (const Signature& signature : kSignatures) {
    const std::string_view part = signature.atEnd ? tail : head;
    if (part.substr(0, signature.bytes.size()) == signature.bytes) return signature.format;
  }
  return EvidenceFormat::kNone;
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// E01 ... E99 go on as EAA ... EZZ, then FAA ..., in the case the extension was written in;
// Ex01 ... Ex99 as ExAA ... ExZZ, then FxAA ....
std::string NextEwfSegmentName(const std::string& name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return "";
  std::string extension = name.substr(dot + 1);
  const bool ewf2 = extension.size() == 4 && (extension[1] == 'x' || extension[1] == 'X');
  if (extension.size() != 3 && !ewf2) return "";
  const bool lower = std::islower(static_cast<unsigned char>(extension[0])) != 0;
  const char a = lower ? 'a' : 'A';
  const char z = lower ? 'z' : 'Z';
  const auto isLetter = [&](char c) { return c >= a && c <= z; };
  const auto isDigit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
  // The letter that leads, and the two characters that count after it.
  std::string counted = std::string(1, extension[0]) + extension.substr(extension.size() - 2);
  if (!isLetter(counted[0])) return "";
  if (isDigit(counted[1]) && isDigit(counted[2])) {
    std::string digits = counted.substr(1);
    counted = counted.substr(0, 1) + (CountUp(digits, '0', '9') ? digits : std::string(2, a));
  } else if (isLetter(counted[1]) && isLetter(counted[2])) {
    if (!CountUp(counted, a, z)) return "";
  } else {
    return "";
  }
  return name.substr(0, dot + 1) + counted[0] + (ewf2 ? extension.substr(1, 1) : "") + counted.substr(1);
}

// A suffix of digits (two at least) counts in digits; a name that ends in two or more small
// letters after a stem (split's xaa, xab) counts in letters, in as many as it has.
std::string NextRawSegmentName(const std::string& name) {
  const std::string base = BaseName(name);
  size_t digits = 0;
  while (digits < base.size() && std::isdigit(static_cast<unsigned char>(base[base.size() - 1 - digits]))) ++digits;
  std::string next = name;
  if (digits >= 2) {
    std::string suffix = name.substr(name.size() - digits);
    if (!CountUp(suffix, '0', '9')) return "";
    return next.replace(name.size() - digits, digits, suffix);
  }
  if (digits != 0 || base.size() < 3) return "";
  // split's letters: the last two of a name of small letters only ("xaa", "card.img.ab").
  std::string suffix = name.substr(name.size() - 2);
  if (!std::islower(static_cast<unsigned char>(suffix[0])) || !std::islower(static_cast<unsigned char>(suffix[1]))) {
    return "";
  }
  if (!CountUp(suffix, 'a', 'z')) return "";
  return next.replace(name.size() - 2, 2, suffix);
}

std::optional<SegmentGap> FindSegmentGap(const std::string& last, std::string (*next)(const std::string&)) {
  const std::string missing = next(last);
  if (missing.empty() || Exists(missing)) return std::nullopt;
  std::string later = missing;
  for (int i = 0; i < 3; ++i) {
    later = next(later);
    if (later.empty()) break;
    if (Exists(later)) return SegmentGap{missing, later};
  }
  return std::nullopt;
}

EvidenceOpening OpenEvidence(const std::string& path, int fd, uint64_t size) {
  const std::string head = ReadPart(fd, 0, kHeadBytes);
  const std::string tail = size >= kTailBytes ? ReadPart(fd, size - kTailBytes, kTailBytes) : std::string();
  switch (RecogniseEvidence(head, tail)) {
    case EvidenceFormat::kEwf: return OpenEwf(path);
    case EvidenceFormat::kEwfLogical:
      return {nullptr, "\"" + BaseName(path) +
                           "\" is EnCase logical evidence (L01): it holds files taken from a medium, not the "
                           "medium itself, and Brindle reads media."};
    case EvidenceFormat::kVhd: return OpenVhd(path);
    case EvidenceFormat::kVmdk: return OpenVmdk(path);
    case EvidenceFormat::kQcow: return OpenQcow(path);
    case EvidenceFormat::kNone: break;
  }
  return OpenSplitRaw(path);
}
