// The input box: a small modal window asking for one line of text.
//
// It has a caption, a prompt, a one-line field that starts with a given
// value (all of it selected, at most 255 characters), an "OK" button (the
// default, also Enter) and a "Cancel" button (also Escape, or closing the
// window). It is centred on the screen.
//
// Tests install an answerer that replies in place of the user; no window is
// shown while one is installed.
#pragma once

#include <functional>
#include <optional>
#include <string>

struct InputBoxRequest {
    std::string caption;
    std::string prompt;
    std::string value;  // the text the field starts with
};

// Shows the box; returns the field's text when confirmed with OK, nothing
// when cancelled in any way. Texts are UTF-8.
std::optional<std::string> InputQuery(const std::string& caption, const std::string& prompt,
                                      const std::string& value);

// As InputQuery, but a cancelled box gives `value` back unchanged.
std::string InputBox(const std::string& caption, const std::string& prompt,
                     const std::string& value);

// The most characters the field accepts.
constexpr int kInputBoxMaxLength = 255;

// Test hook: while set, the answerer is asked instead of showing a window
// (std::nullopt means Cancel). Pass nullptr to remove it.
using InputBoxAnswerer = std::function<std::optional<std::string>(const InputBoxRequest&)>;
void SetInputBoxAnswerer(InputBoxAnswerer answerer);
