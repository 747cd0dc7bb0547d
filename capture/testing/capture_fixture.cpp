#include "capture/testing/capture_fixture.h"

#include <algorithm>
#include <vector>

#include "host/forms/screen.h"
#include "host/system/stream.h"
#include "png/png_image.h"

namespace snapkit::testing {

using host::testing::Page;
using host::testing::TTestServer;

std::string Block(int W, int H, const char* Colour) {
  return "<div style='width:" + std::to_string(W) + "px;height:" + std::to_string(H) +
         "px;background:" + Colour + "'></div>";
}

std::string SolidPng(int W, int H, host::TColor Colour) {
  TPNGImage Png;
  Png.SetPixelFormat(host::pf24bit);
  Png.SetSize(W, H);
  Png.Canvas().Brush.Color = Colour;
  Png.Canvas().FillRect(host::Rect(0, 0, W, H));
  host::TMemoryStream Out;
  Png.SaveToStream(Out);
  return std::string(reinterpret_cast<const char*>(Out.Memory()), std::size_t(Out.Size()));
}

std::string Body(const std::string& Inner, const char* Background) {
  return std::string("<html><body style='margin:0;background:") + Background + "'>" + Inner +
         "</body></html>";
}

void CaptureTest::SetUpTestSuite() {
  Server = new TTestServer;
  Server->Route("/red.html", Page(Body("", "#ff0000")));
  Server->Route("/green.html", Page(Body("", "#00ff00")));
  Server->Route("/blue.html", Page(Body("", "#0000ff")));
  Server->Route("/quads.html",
                Page("<html><body style='margin:0;overflow:hidden'>"
                     "<div style='position:absolute;left:0;top:0;width:50%;height:50%;"
                     "background:#ff0000'></div>"
                     "<div style='position:absolute;left:50%;top:0;width:50%;height:50%;"
                     "background:#00ff00'></div>"
                     "<div style='position:absolute;left:0;top:50%;width:50%;height:50%;"
                     "background:#0000ff'></div>"
                     "<div style='position:absolute;left:50%;top:50%;width:50%;height:50%;"
                     "background:#102030'></div></body></html>"));
  // Longer and wider than any screen used here.
  Server->Route("/big.html", Page(Body(Block(1500, 3000, "#336699"), "#336699")));
  Server->Route("/long.html", Page(Body(Block(100, 3000, "#336699"), "#336699")));
  Server->Route("/frames.html",
                Page(Body("<iframe src='/long.html' width=300 height=200 "
                          "style='border:0;display:block'></iframe>"
                          "<iframe src='/green.html' width=300 height=200></iframe>",
                          "#ffff00")));
  Server->Route("/r1", host::testing::Redirect(302, "/r2"));
  Server->Route("/r2", host::testing::Redirect(301, "/blue.html"));
  Server->Route("/nobody.svg", Page("<svg xmlns='http://www.w3.org/2000/svg' width='10' "
                                    "height='10'/>",
                                    "image/svg+xml"));
  Server->Route("/endless", host::testing::Unfinished(Body("still loading")));
  // Paints 300 ms after it has loaded.
  Server->Route("/late.html", Page("<html><body style='margin:0;background:#ffffff'><script>"
                                   "onload = () => setTimeout(() => "
                                   "document.body.style.background = '#ff0000', 300);"
                                   "</script></body></html>"));
  // Images far below the screen, loaded only once they come near the view.
  std::string Lazy;
  for (int i = 0; i < 4; ++i) {
    std::string Name = "/lazy" + std::to_string(i) + ".png";
    Server->Route(Name, host::testing::Slow(
                            Page(SolidPng(300, 300, host::RGB(0, 0x80, 0)), "image/png"), 400));
    Lazy += "<img loading=lazy src='" + Name +
            "' style='position:absolute;left:" + std::to_string(i * 350) +
            "px;top:5600px;width:300px;height:300px'>";
  }
  Server->Route("/lazy.html", Page(Body("<div style='width:1500px;height:6000px'></div>" + Lazy)));
  Server->Route("/huge.html", Page(Body(Block(1000, 40000, "#336699"), "#336699")));
}

void CaptureTest::TearDownTestSuite() {
  delete Server;
  Server = nullptr;
}

void CaptureTest::SetUp() { host::Screen->SetSize(800, 600); }

void CaptureTest::TearDown() { host::Screen->SetSize(1920, 1080); }

int CaptureTest::Requests(const std::string& Path) {
  std::vector<std::string> R = Server->Requests();
  return static_cast<int>(std::count(R.begin(), R.end(), Path));
}

TTestServer* CaptureTest::Server = nullptr;

}  // namespace snapkit::testing
