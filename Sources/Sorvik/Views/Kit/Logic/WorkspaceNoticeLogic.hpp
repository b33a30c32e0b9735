#pragma once
// The notice line and the status line of the library pages, read from the store. Pure.
#include <optional>
#include <string>
#include <string_view>

#include "Sorvik/Stores/AppStore.hpp"

namespace sorvik::app {

struct NoticeLineState {
    bool shown = false;
    /// The notice as stored (Chinese); translate it when shown.
    std::string text;
    bool undoShown = false;
    /// Undo changes the library: not while a job runs or in recovery mode.
    bool undoEnabled = false;
    friend bool operator==(const NoticeLineState&, const NoticeLineState&) = default;
};
NoticeLineState noticeLineState(const AppStore& store);

struct StatusLineState {
    /// A job runs: the dot is warning-coloured and the text is the activity.
    bool busy = false;
    /// Recovery mode: nothing is saved, and the text says why.
    bool warning = false;
    /// Already in the interface language.
    std::string text;
    /// "上次索引  {0}" with the time of day of the last scan, translated; none before the first scan.
    std::optional<std::string> lastIndexed;
    friend bool operator==(const StatusLineState&, const StatusLineState&) = default;
};
/// `interval` in seconds; `language` "zh-Hans" or "en" formats the time of day.
StatusLineState statusLineState(const AppStore& store, double interval, std::string_view language);

/// The time of day of a date in the local time zone, in the short style of the language.
std::string shortTimeOfDay(Date date, std::string_view language);

}  // namespace sorvik::app
