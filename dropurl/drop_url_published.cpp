#include "dropurl/drop_url_published.h"

#include "dropurl/drop_url.h"
#include "host/forms/published.h"

namespace snapkit {

const host::TComponentClassRef DropURLClass{
    "TDropURL", &host::ComponentClass,
    &host::CreateInstance<TDropURL, host::TComponent, host::TComponent*>};

namespace {

const host::TPublishedClass DropURLPublished{
    &DropURLClass,
    {
        host::ReferenceProperty("TargetControl", &TDropURL::TargetControl,
                                &TDropURL::SetTargetControl, host::waField, &host::WinControlClass),
        host::EventProperty("OnDropURL", &TDropURL::OnDropURL),
    }};

// Gone again when the package unloads.
const host::TPublishedRegistration Registration(DropURLPublished);

}  // namespace
}  // namespace snapkit
