#include "capture/sitelens_published.h"

#include "capture/sitelens.h"
#include "host/forms/published.h"

namespace snapkit {

const host::TComponentClassRef SitelensClass{
    "TSitelens", &host::CustomPanelClass,
    &host::CreateInstance<TSitelens, host::TComponent, host::TComponent*>};

namespace {

using host::OrdinalProperty;
using host::waField;
using host::waSetter;

const host::TEnumType WebPageViewType{"TWebPageView", {"wvScreen", "wvFull", "wvCustom"}};

// The order matters: a stored Active = False comes before URL and so keeps
// it from being navigated, and TimedUpdate creates the timer before
// TimerInterval adjusts it. URL has no storage default, so it is always
// written; TimerInterval's default is not the value a new control has.
const host::TPublishedClass SitelensPublished{
    &SitelensClass,
    {
        host::StringProperty("Caption", &TSitelens::Caption, &TSitelens::SetCaption, waSetter),
        OrdinalProperty("Active", host::tkBoolean, &TSitelens::Active, &TSitelens::SetActive,
                        waSetter, 1),
        host::StringProperty("URL", &TSitelens::URL, &TSitelens::setUrl, waSetter),
        OrdinalProperty("WebPageView", host::tkEnumeration, &TSitelens::WebPageView,
                        &TSitelens::SetWebPageView, waSetter, wvScreen, &WebPageViewType),
        OrdinalProperty("ViewWidth", host::tkCardinal, &TSitelens::ViewWidth,
                        &TSitelens::SetViewWidth, waField),
        OrdinalProperty("ViewHeight", host::tkCardinal, &TSitelens::ViewHeight,
                        &TSitelens::SetViewHeight, waField),
        OrdinalProperty("Proportional", host::tkBoolean, &TSitelens::Proportional,
                        &TSitelens::SetProportional, waSetter, 1),
        OrdinalProperty("TimedUpdate", host::tkBoolean, &TSitelens::TimedUpdate,
                        &TSitelens::SetTimedUpdate, waSetter, 0),
        OrdinalProperty("TimerInterval", host::tkCardinal, &TSitelens::TimerInterval,
                        &TSitelens::SetTimerInterval, waSetter, 30000),
        OrdinalProperty("RenderDelay", host::tkCardinal, &TSitelens::RenderDelay,
                        &TSitelens::SetRenderDelay, waField, 0),
        host::EventProperty("OnWebImageReady", &TSitelens::OnWebImageReady),
        host::EventProperty("OnCaptureError", &TSitelens::OnCaptureError),
        host::EventProperty("OnPageChanged", &TSitelens::OnPageChanged),
    }};

const host::TPublishedRegistration Registration(SitelensPublished);

}  // namespace
}  // namespace snapkit
