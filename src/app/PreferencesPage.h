#pragma once

namespace vistrel {

// The pages of the Preferences window, in their order.
enum class PreferencesPage { General, History, Redaction, Sharing, Recording };

} // namespace vistrel
