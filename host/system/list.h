#pragma once
// The framework's list: a vector whose index errors are EListError
// "List index out of bounds (N)".

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "host/system/exception.h"

namespace host {

[[noreturn]] void ListIndexError(std::int64_t Index);

template <class T>
class TList {
public:
  int Count() const { return static_cast<int>(FItems.size()); }
  const T& Items(int Index) const { Check(Index); return FItems[static_cast<std::size_t>(Index)]; }
  T& Items(int Index) { Check(Index); return FItems[static_cast<std::size_t>(Index)]; }
  int Add(T Item) { FItems.push_back(std::move(Item)); return Count() - 1; }
  void Insert(int Index, T Item) {
    if (Index < 0 || Index > Count()) ListIndexError(Index);
    FItems.insert(FItems.begin() + Index, std::move(Item));
  }
  void Delete(int Index) { Check(Index); FItems.erase(FItems.begin() + Index); }
  void Move(int CurIndex, int NewIndex) {
    if (CurIndex == NewIndex) return;
    Check(NewIndex);
    T item = std::move(Items(CurIndex));
    FItems.erase(FItems.begin() + CurIndex);
    FItems.insert(FItems.begin() + NewIndex, std::move(item));
  }
  int IndexOf(const T& Item) const {
    for (std::size_t i = 0; i < FItems.size(); ++i)
      if (FItems[i] == Item) return static_cast<int>(i);
    return -1;
  }
  void Clear() { FItems.clear(); }
  auto begin() { return FItems.begin(); }
  auto end() { return FItems.end(); }
  auto begin() const { return FItems.begin(); }
  auto end() const { return FItems.end(); }

private:
  void Check(int Index) const {
    if (Index < 0 || Index >= Count()) ListIndexError(Index);
  }
  std::vector<T> FItems;
};

}  // namespace host
