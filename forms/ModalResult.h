#pragma once

namespace orvelle {

// What a modally shown dialog ended with.
enum ModalResult : int { mrNone = 0, mrOK = 1, mrCancel = 2 };

} // namespace orvelle
