// Which ad and tracker lists pages are filtered with, and the login given
// to their challenges. The lists are only named here and read on the first
// page that needs them (page_fetch.cpp); a change takes a fresh page, as
// Fetch's interception is set up with it.

#include <filesystem>
#include <fstream>

#include "host/browser/filter_list.h"
#include "host/browser/web_browser.h"

namespace host {

namespace {

std::string DefaultList(const char* Name, const char* Title) {
  std::string Path = DefaultFilterListPath(Name);
  if (Path.empty())
    throw EOleException(std::string("The filter list ") + Title + " (" + Name +
                        ".txt) is missing: install the package webext-ublock-origin-chromium, "
                        "or name a folder that holds it in SNAPKIT_FILTER_LISTS");
  return Path;
}

}  // namespace

std::vector<std::string> TWebBrowser::FilterListPaths(bool Ads, bool Trackers,
                                                      const std::vector<std::string>& Files) {
  std::vector<std::string> Paths;
  if (Ads) Paths.push_back(DefaultList("easylist", "EasyList"));
  if (Trackers) Paths.push_back(DefaultList("easyprivacy", "EasyPrivacy"));
  for (const std::string& File : Files) {
    // A folder opens as a stream too, and reads as nothing.
    std::error_code Error;
    if (File.empty() || std::filesystem::is_directory(File, Error) ||
        !std::ifstream(File, std::ios::binary))
      throw EOleException("Cannot read the filter list \"" + File + "\"");
    Paths.push_back(File);
  }
  return Paths;
}

void TWebBrowser::SetBlockAds(bool Value) {
  if (Value == FBlockAds) return;
  if (Value) FilterListPaths(true, false, {});
  FBlockAds = Value;
  FiltersChanged();
}

void TWebBrowser::SetBlockTrackers(bool Value) {
  if (Value == FBlockTrackers) return;
  if (Value) FilterListPaths(false, true, {});
  FBlockTrackers = Value;
  FiltersChanged();
}

void TWebBrowser::SetFilterLists(std::vector<std::string> Files) {
  if (Files == FFilterLists) return;
  FilterListPaths(false, false, Files);
  FFilterLists = std::move(Files);
  FiltersChanged();
}

// The lists are read again, with what they raise, by the next page.
void TWebBrowser::FiltersChanged() {
  FFilterSet.reset();
  FFilterError.clear();
  FPageOptionsChanged = true;
}

void TWebBrowser::SetCredentials(const TCredentials& Value) {
  if (Value.User == FCredentials.User && Value.Password == FCredentials.Password) return;
  FCredentials = Value;
  FPageOptionsChanged = true;
}

}  // namespace host
