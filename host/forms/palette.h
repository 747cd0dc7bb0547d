#pragma once
// The designer's component palette and the named bitmap resources it takes
// palette pictures from (the picture of class TFoo is the resource "TFOO").

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/forms/component.h"
#include "host/system/metaclass.h"

namespace host {

class TBitmap;

using TComponentClassRef = TClassRef<TComponent, TComponent*>;
using TComponentClass = const TComponentClassRef*;

struct TPaletteItem {
  std::string Page;
  TComponentClass ComponentClass;
};

// Puts the classes on the named palette page, after what is there; a class
// registered again moves to the new page.
void RegisterComponents(const std::string& Page, const std::vector<TComponentClass>& Classes);
// Takes the classes off the palette, as a package does when it unloads.
void UnregisterComponents(const std::vector<TComponentClass>& Classes);
// Everything on the palette, in registration order.
std::vector<TPaletteItem> PaletteItems();
// The palette class of that name (case-insensitive), or null.
TComponentClass FindComponentClass(const std::string& ClassName);

// Keeps a copy of a BMP file's bytes under Name (case-insensitive); a later
// registration of the name replaces it.
void RegisterBitmapResource(const std::string& Name, const std::uint8_t* Data, std::size_t Size);
void UnregisterBitmapResource(const std::string& Name);
// Loads the resource into Bitmap; false when there is none of that name.
bool LoadBitmapResource(const std::string& Name, TBitmap& Bitmap);

}  // namespace host
