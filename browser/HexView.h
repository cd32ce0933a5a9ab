#pragma once
// What the hex view and the preview show for an entry's first bytes, as pure functions of
// those bytes; the window only puts the results on screen.

#include <cstddef>
#include <cstdint>
#include <string>

#include "formats/PictureFormats.h"

// The dump: per 16 bytes, the offset in upper-case hex (at least 4 digits), four spaces, each
// byte as two hex digits and a space, four spaces, then one character per byte ("." below
// 0x20, ASCII, and the Windows-1252 character from 0x7F on, "." where it has none), ended by
// "\r\n". A short last line is not padded.
std::string FormatHexDump(const uint8_t* data, size_t count);

enum class PreviewKind {
  kNone,     // no data: "preview not available"
  kPicture,  // the data starts like a picture; the window loads it
  kText,     // everything else: the bytes as text
};

struct PreviewDecision {
  PreviewKind kind = PreviewKind::kNone;
  const FormatRecognizer* picture = nullptr;  // for kPicture
  std::string text;                           // for kText: UTF-8 bytes as stored
};

// Decides the preview for the first bytes of an entry (at most kDumpSize of them are looked
// at). The text is every byte delivered up to the first zero byte.
PreviewDecision DecidePreview(const uint8_t* data, size_t count);
