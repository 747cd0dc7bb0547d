// The harness itself: a plain GTK window on the test's own X server is found,
// in its colour, where X says it is on a screenshot taken by import.

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include "host/desktop/testing/screenshot.h"
#include "host/desktop/testing/xvfb_session.h"

namespace host::desktop::testing {
namespace {

TEST(XvfbScreenshot, PaintedWindowIsFoundAtItsPlace) {
  SNAPKIT_REQUIRE_XVFB();
  if (!HaveProgram("import")) GTEST_SKIP() << "ImageMagick's import is not installed";
  ASSERT_TRUE(gtk_init_check(nullptr, nullptr));

  GtkWidget* Window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_decorated(GTK_WINDOW(Window), FALSE);
  gtk_window_move(GTK_WINDOW(Window), 130, 90);
  gtk_window_set_default_size(GTK_WINDOW(Window), 200, 150);
  gtk_widget_set_app_paintable(Window, TRUE);
  int Draws = 0;
  g_signal_connect(Window, "draw", G_CALLBACK(+[](GtkWidget*, cairo_t* Cr, gpointer Count) {
                     cairo_set_source_rgb(Cr, 0x20 / 255.0, 0xC0 / 255.0, 0x60 / 255.0);
                     cairo_paint(Cr);
                     ++*static_cast<int*>(Count);
                     return TRUE;
                   }),
                   &Draws);
  gtk_widget_show_all(Window);
  gint64 Deadline = g_get_monotonic_time() + 5 * G_USEC_PER_SEC;
  while (Draws == 0 && g_get_monotonic_time() < Deadline) g_main_context_iteration(nullptr, TRUE);
  ASSERT_GT(Draws, 0) << "the window was never drawn";
  gdk_display_sync(gdk_display_get_default());

  int X = -1, Y = -1;
  gdk_window_get_origin(gtk_widget_get_window(Window), &X, &Y);
  auto Shot = GrabScreen();
  struct {
    int Dx, Dy;
    bool Inside;
  } const Probes[] = {{1, 1, true}, {100, 75, true}, {198, 148, true},
                      {-2, 10, false}, {10, 152, false}, {203, 20, false}};
  for (const auto& P : Probes) {
    TRgb C = PixelAt(*Shot, X + P.Dx, Y + P.Dy);
    bool Green = C.R == 0x20 && C.G == 0xC0 && C.B == 0x60;
    EXPECT_EQ(Green, P.Inside) << "at +" << P.Dx << ",+" << P.Dy << " rgb " << C.R << "," << C.G
                               << "," << C.B;
  }
  gtk_widget_destroy(Window);
}

}  // namespace
}  // namespace host::desktop::testing
