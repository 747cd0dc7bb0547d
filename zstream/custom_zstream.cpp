#include "zstream/custom_zstream.h"

namespace snapkit {

TCustomZStream::TCustomZStream(host::TStream& Strm) : FStrm(Strm), FStrmPos(Strm.Position()) {}

void TCustomZStream::DoProgress() {
  if (OnStreamProgress) OnStreamProgress(*this);
}

void TCustomZStream::RestoreStreamPosition() {
  if (FStrm.Position() != FStrmPos) FStrm.SetPosition(FStrmPos);
}

}  // namespace snapkit
