#pragma once

#include <string>

/// What the engine asks of the side that shows it: the window, or the headless
/// program. The engine never touches a widget; everything it shows goes through
/// here.
class ISessionHost {
public:
    enum class BeepKind {
        Default, ///< the end of a test
        Warning, ///< an outcome without a known reason
    };

    virtual ~ISessionHost() = default;

    /// A message the user must acknowledge (an OK box captioned "Linkvet").
    virtual void ShowMessage(const std::string& text) = 0;
    virtual void Beep(BeepKind kind) = 0;
};
