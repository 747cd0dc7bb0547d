#include "host/system/stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>
#include <stdexcept>

#include "host/system/exception.h"

namespace host {

namespace {
constexpr std::int32_t kChunk = std::numeric_limits<std::int32_t>::max() & ~0xFFFF;
}

void TStream::ReadBuffer(void* Buffer, std::int64_t Count) {
  auto* p = static_cast<std::uint8_t*>(Buffer);
  while (Count > 0) {
    std::int32_t n = static_cast<std::int32_t>(std::min<std::int64_t>(Count, kChunk));
    if (Read(p, n) != n) throw EReadError("Stream read error");
    p += n;
    Count -= n;
  }
}

void TStream::WriteBuffer(const void* Buffer, std::int64_t Count) {
  auto* p = static_cast<const std::uint8_t*>(Buffer);
  while (Count > 0) {
    std::int32_t n = static_cast<std::int32_t>(std::min<std::int64_t>(Count, kChunk));
    if (Write(p, n) != n) throw EWriteError("Stream write error");
    p += n;
    Count -= n;
  }
}

std::int64_t TStream::Size() {
  std::int64_t pos = Seek(0, soCurrent);
  std::int64_t size = Seek(0, soEnd);
  Seek(pos, soBeginning);
  return size;
}

void TStream::SetSize(std::int64_t) {
  throw EStreamError("Stream size cannot be changed");
}

std::int64_t TStream::CopyFrom(TStream& Source, std::int64_t Count) {
  if (Count == 0) {
    Source.SetPosition(0);
    Count = Source.Size();
  }
  const std::int64_t total = Count;
  constexpr std::int64_t kBuffer = 64 * 1024;
  std::unique_ptr<std::uint8_t[]> buf(new std::uint8_t[kBuffer]);
  while (Count > 0) {
    std::int64_t n = std::min(Count, kBuffer);
    Source.ReadBuffer(buf.get(), n);
    WriteBuffer(buf.get(), n);
    Count -= n;
  }
  return total;
}

// ---------------------------------------------------------------------------

std::int32_t TMemoryStream::Read(void* Buffer, std::int32_t Count) {
  if (Count <= 0 || FPosition >= Size()) return 0;
  std::int64_t n = std::min<std::int64_t>(Count, Size() - FPosition);
  std::memcpy(Buffer, FData.data() + FPosition, static_cast<std::size_t>(n));
  FPosition += n;
  return static_cast<std::int32_t>(n);
}

std::int32_t TMemoryStream::Write(const void* Buffer, std::int32_t Count) {
  if (Count <= 0) return 0;
  std::int64_t end = FPosition + Count;
  if (end > Size()) SetSize(end);
  std::memcpy(FData.data() + FPosition, Buffer, static_cast<std::size_t>(Count));
  FPosition = end;
  return Count;
}

std::int64_t TMemoryStream::Seek(std::int64_t Offset, TSeekOrigin Origin) {
  switch (Origin) {
    case soBeginning: FPosition = Offset; break;
    case soCurrent: FPosition += Offset; break;
    case soEnd: FPosition = Size() + Offset; break;
  }
  // Past the end is allowed (a later Write fills the gap with zeros);
  // before the start is not.
  if (FPosition < 0) FPosition = 0;
  return FPosition;
}

void TMemoryStream::SetSize(std::int64_t NewSize) {
  if (NewSize < 0) throw EStreamError("Invalid stream size");
  try {
    FData.resize(static_cast<std::size_t>(NewSize));
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory("Out of memory");
  } catch (const std::length_error&) {
    throw EOutOfMemory("Out of memory");
  }
  if (FPosition > NewSize) FPosition = NewSize;
}

void TMemoryStream::Reserve(std::int64_t Bytes) {
  if (Bytes <= Size()) return;
  try {
    FData.reserve(static_cast<std::size_t>(Bytes));
  } catch (const std::exception&) {
    throw EOutOfMemory("Out of memory");
  }
}

void TMemoryStream::Clear() {
  FData.clear();
  FData.shrink_to_fit();
  FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream& Stream) {
  Stream.SetPosition(0);
  std::int64_t n = Stream.Size();
  SetSize(n);
  FPosition = 0;
  if (n) Stream.ReadBuffer(FData.data(), n);
}

void TMemoryStream::SaveToStream(TStream& Stream) {
  if (!FData.empty()) Stream.WriteBuffer(FData.data(), Size());
}

void TMemoryStream::LoadFromFile(const std::string& FileName) {
  TFileStream f(FileName, fmOpenRead);
  LoadFromStream(f);
}

void TMemoryStream::SaveToFile(const std::string& FileName) {
  TFileStream f(FileName, fmCreate);
  SaveToStream(f);
}

// ---------------------------------------------------------------------------

TFileStream::TFileStream(const std::string& FileName, std::uint16_t Mode)
    : FFileName(FileName) {
  if (Mode == fmCreate) {
    FHandle = ::open(FileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (FHandle < 0)
      throw EFCreateError("Cannot create file \"" + FileName + "\". " + std::strerror(errno));
    return;
  }
  int flags = O_CLOEXEC;
  switch (Mode & 3) {
    case fmOpenWrite: flags |= O_WRONLY; break;
    case fmOpenReadWrite: flags |= O_RDWR; break;
    default: flags |= O_RDONLY; break;
  }
  FHandle = ::open(FileName.c_str(), flags);
  if (FHandle < 0)
    throw EFOpenError("Cannot open file \"" + FileName + "\". " + std::strerror(errno));
  struct stat st {};
  if (::fstat(FHandle, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(FHandle);
    throw EFOpenError("Cannot open file \"" + FileName + "\". Is a directory");
  }
}

TFileStream::~TFileStream() {
  if (FHandle >= 0) ::close(FHandle);
}

std::int32_t TFileStream::Read(void* Buffer, std::int32_t Count) {
  auto* p = static_cast<std::uint8_t*>(Buffer);
  std::int32_t done = 0;
  while (done < Count) {
    ssize_t n = ::read(FHandle, p + done, static_cast<std::size_t>(Count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::int32_t>(n);
  }
  return done;
}

std::int32_t TFileStream::Write(const void* Buffer, std::int32_t Count) {
  auto* p = static_cast<const std::uint8_t*>(Buffer);
  std::int32_t done = 0;
  while (done < Count) {
    ssize_t n = ::write(FHandle, p + done, static_cast<std::size_t>(Count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::int32_t>(n);
  }
  return done;
}

std::int64_t TFileStream::Seek(std::int64_t Offset, TSeekOrigin Origin) {
  int whence = Origin == soBeginning ? SEEK_SET : Origin == soCurrent ? SEEK_CUR : SEEK_END;
  off_t r = ::lseek(FHandle, static_cast<off_t>(Offset), whence);
  if (r < 0) throw EStreamError("Cannot seek in \"" + FFileName + "\". " + std::strerror(errno));
  return r;
}

void TFileStream::SetSize(std::int64_t NewSize) {
  if (::ftruncate(FHandle, static_cast<off_t>(NewSize)) != 0)
    throw EStreamError("Cannot change the size of \"" + FFileName + "\". " + std::strerror(errno));
  if (Position() > NewSize) SetPosition(NewSize);
}

}  // namespace host
