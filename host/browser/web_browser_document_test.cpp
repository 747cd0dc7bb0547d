// Scripts read the page through late binding: the names they use must
// answer as the page is now, and a wrong one must raise.

#include "host/browser/testing/web_browser_fixture.h"

namespace host {
namespace {

TEST_F(WebBrowserTest, ScrollSizeOfTheBodyThroughLateBinding) {
  Browser->SetBounds(0, 0, 1024, 768);
  Browser->Navigate(Server->Url("/big.html"));
  ASSERT_TRUE(WaitComplete());
  OleVariant Doc = Browser->OleObject().Get("Document");
  EXPECT_EQ(Doc.Get("Body").Get("ScrollWidth").AsInteger(), 1500);
  EXPECT_EQ(Browser->OleObject().Get("Document").Get("Body").Get("ScrollHeight").AsInteger(), 3000);
  // The viewport is the control's size.
  OleVariant View = Doc.Get("defaultView");
  EXPECT_EQ(View.Get("innerWidth").AsInteger(), 1024);
  Browser->SetBounds(0, 0, 640, 480);
  EXPECT_EQ(View.Get("innerWidth").AsInteger(), 640);
  EXPECT_EQ(View.Get("InnerHeight").AsInteger(), 480);
  EXPECT_THROW(Doc.Get("NoSuchProperty"), EOleException);
  EXPECT_THROW(Browser->OleObject().Get("Nonsense"), EOleException);
  EXPECT_EQ(Browser->OleObject().Get("LocationURL").AsString(), Server->Url("/big.html"));
}

TEST_F(WebBrowserTest, DocumentWithoutBodyFailsTheLookup) {
  Browser->Navigate(Server->Url("/nobody.svg"));
  ASSERT_TRUE(WaitComplete());
  OleVariant Body = Browser->OleObject().Get("Document").Get("Body");
  EXPECT_TRUE(Body.IsNull());
  EXPECT_THROW(Body.Get("ScrollWidth"), EOleException);
  EXPECT_THROW(Body.AsInteger(), EConvertError);
}

}  // namespace
}  // namespace host
