#include "Sorvik/Views/WorkspaceNoticeLogic.hpp"

#include <QDateTime>
#include <QLocale>

#include "Sorvik/Support/Strings.hpp"
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
    const QLocale locale(language == InterfaceLanguage::english ? QLocale::English : QLocale::Chinese,
                         language == InterfaceLanguage::english ? QLocale::UnitedStates : QLocale::China);
    const QDateTime local =
        QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(date.unixSeconds() * 1000.0)).toLocalTime();
    return utf8(locale.toString(local.time(), QLocale::ShortFormat));
}

StatusLineState statusLineState(const AppStore& store, double interval, std::string_view language) {
    StatusLineState state;
    state.busy = store.isBusy();
    if (state.busy) {
        state.text = L(store.activity());
    } else if (store.workspace().automaticScan) {
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
