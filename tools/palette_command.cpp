#include "tools/palette_command.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "capture/registration.h"
#include "host/forms/palette.h"
#include "host/graphics/bitmap.h"
#include "host/system/exception.h"
#include "tools/convert_command.h"

namespace snapkit::tools {

const char* const PaletteUsage =
    "snapkit palette [--icons DIR] [LIBRARY...]\n"
    "  Loads each package library as the designer does (default: the package\n"
    "  this program is built with), registers it and lists the palette pages\n"
    "  with their components. --icons DIR writes each palette picture there\n"
    "  as CLASSNAME.bmp, making the folder if it is missing.\n";

namespace {

// The file this program's own package was loaded from.
std::string OwnPackage() {
  Dl_info Info{};
  if (!dladdr(reinterpret_cast<void*>(&snapkit::Register), &Info) || !Info.dli_fname)
    throw host::Exception("Cannot tell which package this program is built with");
  return Info.dli_fname;
}

std::string Upper(std::string S) {
  std::transform(S.begin(), S.end(), S.begin(), [](unsigned char C) { return std::toupper(C); });
  return S;
}

}  // namespace

std::string RunPalette(const std::vector<std::string>& Args) {
  std::vector<std::string> Libraries;
  std::string IconDir;
  for (std::size_t I = 0; I < Args.size(); ++I) {
    if (Args[I] == "--icons") {
      if (I + 1 >= Args.size()) throw TUsageError{"--icons needs a folder"};
      IconDir = Args[++I];
    } else if (!Args[I].empty() && Args[I][0] == '-') {
      throw TUsageError{"unknown option " + Args[I]};
    } else {
      Libraries.push_back(Args[I]);
    }
  }
  if (Libraries.empty()) Libraries.push_back(OwnPackage());

  std::string Out = "Packages:\n";
  for (const std::string& Library : Libraries) {
    // A bare name is looked up as the loader looks up dependencies, unless
    // the current folder holds a file of that name.
    std::string Path = Library;
    if (Path.find('/') == std::string::npos && access(Path.c_str(), F_OK) == 0) Path = "./" + Path;
    void* Handle = dlopen(Path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!Handle) throw host::Exception("Cannot load package " + Library + ": " + dlerror());
    auto Register = reinterpret_cast<void (*)()>(dlsym(Handle, "Register"));
    if (!Register) {
      dlclose(Handle);
      throw host::Exception(Library + " is not a package: it exports no Register");
    }
    auto Description = reinterpret_cast<const char* (*)()>(dlsym(Handle, "PackageDescription"));
    Register();
    Out += "  " + Library + ": " + (Description ? Description() : "(no description)") + "\n";
  }

  Out += "Palette:\n";
  std::vector<std::string> Pages;
  const std::vector<host::TPaletteItem> Items = host::PaletteItems();
  for (const host::TPaletteItem& I : Items)
    if (std::find(Pages.begin(), Pages.end(), I.Page) == Pages.end()) Pages.push_back(I.Page);
  for (const std::string& Page : Pages) {
    Out += "  " + Page + ":";
    for (const host::TPaletteItem& I : Items)
      if (I.Page == Page) Out += " " + std::string(I.ComponentClass->ClassName);
    Out += "\n";
  }

  if (!IconDir.empty()) {
    std::error_code Error;
    std::filesystem::create_directories(IconDir, Error);
    if (Error)
      throw host::Exception("Cannot create the folder " + IconDir + ": " + Error.message());
    for (const host::TPaletteItem& I : Items) {
      const std::string Name = Upper(std::string(I.ComponentClass->ClassName));
      host::TBitmap Icon;
      if (!host::LoadBitmapResource(Name, Icon)) {
        Out += "No palette picture for " + std::string(I.ComponentClass->ClassName) + "\n";
        continue;
      }
      const std::string File = IconDir + "/" + Name + ".bmp";
      Icon.SaveToFile(File);
      Out += "Wrote " + File + " (" + std::to_string(Icon.Width()) + "x" +
             std::to_string(Icon.Height()) + ")\n";
    }
  }
  return Out;
}

}  // namespace snapkit::tools
