#include "Sorvik/Views/Kit/Logic/WorkspaceNoticeLogic.hpp"

#include <unicode/datefmt.h>
#include <unicode/locid.h>

#include <memory>

#include "SorvikCore/Localization.hpp"

namespace sorvik::app {

NoticeLineState noticeLineState(const AppStore& store) {
    NoticeLineState state;
    if (!store.notice()) return state;
    state.shown = true;
    state.text = *store.notice();
    state.undoShown = store.canUndo();
    state.undoEnabled = state.undoShown && !store.isBusy() && !store.recoveryMode();
    return state;
}

std::string shortTimeOfDay(Date date, std::string_view language) {
    // ICU's short style, as the platform's date formatter writes it: "3:05 PM" with a narrow
    // no-break space in English (QLocale's data puts a plain space there), "15:05" in Chinese.
    const icu::Locale locale =
        language == InterfaceLanguage::english ? icu::Locale("en", "US") : icu::Locale("zh", "CN");
    std::unique_ptr<icu::DateFormat> format(icu::DateFormat::createTimeInstance(icu::DateFormat::kShort, locale));
    if (!format) return {};
    icu::UnicodeString text;
    format->format(static_cast<UDate>(date.unixSeconds() * 1000.0), text);
    std::string out;
    text.toUTF8String(out);
    return out;
}

StatusLineState statusLineState(const AppStore& store, double interval, std::string_view language) {
    StatusLineState state;
    state.busy = store.isBusy();
    if (state.busy) {
        state.text = L(store.activity());
    } else if (store.recoveryMode()) {
        // Nothing is saved: the line says why, for as long as it lasts.
        std::string reason = L(store.recoveryReason());
        if (const size_t end = reason.find('\n'); end != std::string::npos) reason.resize(end);
        state.warning = true;
        state.text = L("更改不会保存 · {0}", {reason});
    } else if (store.workspace().automaticScan && !store.recoveryMode()) {
        // In recovery mode no timer runs, whatever the workspace says.
        state.text = L("自动更新 · 每 {0} 秒", {std::to_string(static_cast<long long>(interval))});
    } else {
        state.text = L("自动更新已暂停");
    }
    if (const std::optional<Date>& last = store.workspace().lastScan) {
        state.lastIndexed = L("上次索引  {0}", {shortTimeOfDay(*last, language)});
    }
    return state;
}

}  // namespace sorvik::app
