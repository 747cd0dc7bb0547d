#include "host/system/list.h"

namespace host {

void ListIndexError(std::int64_t Index) {
  throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
}

}  // namespace host
