#include "dropurl/drop_url.h"

namespace snapkit {

// Drag and drop is not wired up yet: a loaded component accepts no drops.
TDropURL::TDropURL(host::TComponent* AOwner) : host::TComponent(AOwner) {}

TDropURL::~TDropURL() = default;

void TDropURL::Loaded() { host::TComponent::Loaded(); }

}  // namespace snapkit
