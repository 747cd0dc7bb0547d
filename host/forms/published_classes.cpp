// The published properties of the host's component classes.

#include "host/forms/controls.h"
#include "host/forms/published.h"
#include "host/forms/timer.h"

namespace host {

const TComponentClassRef ComponentClass{"TComponent", nullptr,
                                        &CreateInstance<TComponent, TComponent, TComponent*>};
const TComponentClassRef ControlClass{"TControl", &ComponentClass,
                                      &CreateInstance<TControl, TComponent, TComponent*>};
const TComponentClassRef WinControlClass{"TWinControl", &ControlClass,
                                         &CreateInstance<TWinControl, TComponent, TComponent*>};
const TComponentClassRef CustomPanelClass{"TCustomPanel", &WinControlClass,
                                          &CreateInstance<TCustomPanel, TComponent, TComponent*>};
const TComponentClassRef TimerClass{"TTimer", &ComponentClass,
                                    &CreateInstance<TTimer, TComponent, TComponent*>};

namespace {

// The name is the object's header in a form file, not a property line.
const TPublishedClass ComponentPublished{&ComponentClass, {}};

const TEnumType AlignType{"TAlign", {"alNone", "alTop", "alBottom", "alLeft", "alRight", "alClient"}};

// Position and size have no storage default: a form always says where its
// controls are.
const TPublishedClass ControlPublished{
    &ControlClass,
    {
        OrdinalProperty("Left", tkInteger, &TControl::Left, &TControl::SetLeft, waSetter),
        OrdinalProperty("Top", tkInteger, &TControl::Top, &TControl::SetTop, waSetter),
        OrdinalProperty("Width", tkInteger, &TControl::Width, &TControl::SetWidth, waSetter),
        OrdinalProperty("Height", tkInteger, &TControl::Height, &TControl::SetHeight, waSetter),
        OrdinalProperty("Align", tkEnumeration, &TControl::Align, &TControl::SetAlign, waSetter,
                        alNone, &AlignType),
    }};

const TPublishedClass TimerPublished{
    &TimerClass,
    {
        OrdinalProperty("Enabled", tkBoolean, &TTimer::Enabled, &TTimer::SetEnabled, waSetter, 1),
        OrdinalProperty("Interval", tkCardinal, &TTimer::Interval, &TTimer::SetInterval, waSetter,
                        1000),
        EventProperty("OnTimer", &TTimer::OnTimer),
    }};

const TPublishedRegistration Registrations[] = {
    TPublishedRegistration(ComponentPublished),
    TPublishedRegistration(ControlPublished),
    TPublishedRegistration(TimerPublished),
};

}  // namespace

}  // namespace host
