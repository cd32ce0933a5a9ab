#pragma once
// Where a streamed read puts the bytes it delivers: memory, a file descriptor or a function.
// The read hands them over in order, in pieces of bounded size, and the sink may stop it.

#include <cstddef>
#include <cstdint>
#include <functional>

enum class DataShortfall;  // fs/Completeness.h

class ByteSink {
 public:
  virtual ~ByteSink() = default;

  // Takes the next n bytes. Returns false to stop the read: the sink was cancelled, or its
  // output failed.
  virtual bool Write(const uint8_t* data, size_t n) = 0;

  // A place to read the next n bytes into, so that they reach the sink without a copy; a Write
  // of that place follows, of those n bytes or of fewer of them. nullptr when the sink has none
  // and the reader uses its own buffer.
  virtual uint8_t* Space(size_t /*n*/) { return nullptr; }

  // Takes the next n bytes, all zero: what lies beyond the end of the source. By default they
  // are written like any others; a sink that can note them without the bytes themselves says so
  // here, so that a chain running far past a truncated source costs no buffers of zeros.
  virtual bool WriteZeros(uint64_t n);

  // Told what of the entry's data the read cannot give, as it finds out: why, and how many of
  // the bytes it hands over (or has handed over) stand in for data it could not give (zeros for
  // sectors that could not be read or lie beyond the source, clusters guessed after a broken
  // chain); 0 when it simply gives no more. By default nobody listens.
  virtual void NoteShortfall(DataShortfall /*why*/, uint64_t /*standIns*/) {}

  // False for a sink that only counts what a read would deliver, to learn how complete an
  // entry's data is without reading it: the read then hands its spans over as WriteZeros and
  // reads nothing of the data (the allocation data is still read to find the spans).
  virtual bool WantsBytes() const { return true; }

  // What a sink answers when told where the next bytes lie.
  enum class Placement {
    kRead,  // read them and hand them over, as usual
    kSkip,  // leave them unread: the sink wants only to know where the data lies
    kStop,  // end the read here
  };
  // Told, before the next count bytes are read from the medium, where they lie: from the first
  // byte of the absolute sector on, in the reader's sectors. Bytes that come from no one place
  // on the medium (slots gathered in memory, zeros beyond the source) are not placed.
  virtual Placement Place(uint64_t /*sector*/, uint64_t /*count*/) { return Placement::kRead; }
};

// Writes to a file descriptor and keeps the errno of a failed write.
class FdSink final : public ByteSink {
 public:
  explicit FdSink(int fd) : fd_(fd) {}
  bool Write(const uint8_t* data, size_t n) override;

  int error() const { return error_; }
  uint64_t written() const { return written_; }

 private:
  int fd_;
  int error_ = 0;
  uint64_t written_ = 0;
};

// Hands every piece to a function, which returns false to stop the read.
class CallbackSink final : public ByteSink {
 public:
  using Callback = std::function<bool(const uint8_t* data, size_t n)>;
  explicit CallbackSink(Callback callback) : callback_(std::move(callback)) {}
  bool Write(const uint8_t* data, size_t n) override { return callback_(data, n); }

 private:
  Callback callback_;
};
