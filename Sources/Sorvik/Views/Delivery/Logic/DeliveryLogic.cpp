#include "Sorvik/Views/Delivery/Logic/DeliveryLogic.hpp"

#include <algorithm>
#include <cstdio>
#include <unordered_map>
#include <unordered_set>

#include "Sorvik/Support/Formatting.hpp"
#include "SorvikCore/CheckEngine.hpp"
#include "SorvikCore/Localization.hpp"

namespace sorvik::app {

namespace {

std::string roleLabel(FileRole role) { return L(FileRoles::label(role)); }

}  // namespace

DeliverySnapshot deliverySnapshot(const AppStore& store) {
    DeliverySnapshot snapshot;
    const Delivery* delivery = store.selected();
    if (!delivery) return snapshot;
    snapshot.checks = CheckEngine::checks(*delivery);
    for (const DeliveryCheck& check : snapshot.checks) {
        if (check.level == CheckLevel::pass) continue;
        if (check.level == CheckLevel::error) snapshot.hasErrors = true;
        snapshot.issues.push_back(check);
    }
    snapshot.latestIsCurrent = store.latestIsCurrent();
    return snapshot;
}

int rank(CheckLevel level) {
    switch (level) {
        case CheckLevel::error: return 0;
        case CheckLevel::warning: return 1;
        case CheckLevel::pass: return 2;
    }
    return 2;
}

std::vector<DeliveryCheck> visibleChecks(const std::vector<DeliveryCheck>& source) {
    // Files with a problem, and the id of the last passing check of every other file.
    std::unordered_set<UUID> troubled;
    std::unordered_map<UUID, const std::string*> lastPass;
    for (const DeliveryCheck& check : source) {
        if (!check.fileID) continue;
        if (check.level != CheckLevel::pass) {
            troubled.insert(*check.fileID);
        } else {
            lastPass[*check.fileID] = &check.id;
        }
    }
    std::vector<std::pair<int, std::size_t>> order;
    order.reserve(source.size());
    for (std::size_t i = 0; i < source.size(); ++i) {
        const DeliveryCheck& check = source[i];
        if (check.level == CheckLevel::pass && check.fileID) {
            if (troubled.contains(*check.fileID)) continue;
            if (*lastPass[*check.fileID] != check.id) continue;
        }
        order.emplace_back(rank(check.level), i);
    }
    std::sort(order.begin(), order.end());
    std::vector<DeliveryCheck> shown;
    shown.reserve(order.size());
    for (const auto& [level, index] : order) shown.push_back(source[index]);
    return shown;
}

const std::vector<DeliveryCheck>& checkSource(const DeliverySnapshot& snapshot, bool showOnlyIssues) {
    return showOnlyIssues ? snapshot.issues : snapshot.checks;
}

CheckRowLook checkRowLook(const DeliveryCheck& check) {
    CheckRowLook look;
    if (check.id == "empty") {
        look.symbol = "tray";
        look.tone = ViewTone::secondary;
    } else if (check.level == CheckLevel::pass) {
        look.symbol = "checkmark.circle.fill";
        look.tone = ViewTone::green;
        look.opacity = 0.88;
    } else if (check.level == CheckLevel::warning) {
        look.symbol = "exclamationmark.circle.fill";
        look.tone = ViewTone::warning;
    } else {
        look.symbol = "xmark.circle.fill";
        look.tone = ViewTone::danger;
    }
    const bool ratio = check.id.starts_with("ratio-");
    if (check.fileID) {
        look.action = ratio ? CheckAction::cropCover : CheckAction::showFile;
    } else {
        look.action = CheckAction::chooseFiles;
    }
    if (check.level != CheckLevel::pass) {
        if (ratio) {
            look.button = L("裁切封面");
        } else if (check.fileID) {
            look.button = L("查看");
        } else {
            look.button = L("添加文件");
        }
    }
    return look;
}

bool checkActionEnabled(CheckAction action, bool busy, bool recovery) {
    // Opening a sheet is navigation; choosing files would do nothing while busy or in recovery.
    return action != CheckAction::chooseFiles || (!busy && !recovery);
}

std::string issuesToggleText(bool showOnlyIssues, std::size_t fileCount, std::size_t issueCount) {
    if (showOnlyIssues) return L("显示全部");
    return L("{0} 件内容 · {1} 项待处理", fileCount, issueCount);
}

bool showsAllPassed(bool showOnlyIssues, std::size_t issueCount) { return showOnlyIssues && issueCount == 0; }

FooterStatus footerStatus(const FooterInputs& in) {
    FooterStatus status;
    if (in.filesEmpty) {
        status.symbol = "tray";
    } else if (in.latestIsCurrent) {
        status.symbol = "checkmark.seal.fill";
    } else if (in.issueCount > 0) {
        status.symbol = "exclamationmark.circle.fill";
    } else {
        status.symbol = "checkmark.circle.fill";
    }
    if (in.filesEmpty) {
        status.tone = ViewTone::secondary;
    } else if (in.issueCount > 0) {
        status.tone = ViewTone::warning;
    } else {
        status.tone = ViewTone::green;
    }
    if (in.busy) {
        status.title = L(in.activity);
    } else if (in.filesEmpty) {
        status.title = L("准备开始。");
    } else if (in.latestIsCurrent) {
        status.title = L("这一份，已经交齐。");
    } else if (in.issueCount > 0) {
        status.title = L("{0} 项待处理", in.issueCount);
    } else {
        status.title = L("每一件，都齐了。");
    }
    if (in.latestIsCurrent) {
        status.line = L("文件与清单已写入导出文件夹");
    } else if (in.hasErrors) {
        status.line = L("补齐或修正文件后，即可导出");
    } else if (in.issueCount > 0) {
        status.line = L("检查提醒事项，或确认后继续导出");
    } else {
        status.line = L("文件检查通过，可以放心打包");
    }
    return status;
}

ExportRecordControl exportRecordControl(bool hasExports, bool latestIsCurrent) {
    if (!hasExports) return ExportRecordControl::none;
    return latestIsCurrent ? ExportRecordControl::reveal : ExportRecordControl::history;
}

bool exportButtonEnabled(const AppStore& store, const DeliverySnapshot& snapshot) {
    return exportAllowed(store.isBusy(), store.selected() != nullptr, snapshot.hasErrors) && !store.recoveryMode();
}

std::array<FileCardInfo, 4> fileCards(const Delivery& delivery, const std::vector<DeliveryCheck>& checks) {
    std::array<FileCardInfo, 4> cards;
    std::unordered_set<UUID> troubled;
    for (const DeliveryCheck& check : checks) {
        if (check.fileID && check.level != CheckLevel::pass) troubled.insert(*check.fileID);
    }
    for (std::size_t p = 0; p < cards.size(); ++p) {
        FileCardInfo& card = cards[p];
        card.role = FileRoles::allCases[p];
        card.index = static_cast<int>(p) + 1;
        for (const DeliveryFile& file : delivery.files) {
            if (file.role != card.role) continue;
            if (!card.file) card.file = file;
            ++card.count;
        }
        const auto& required = delivery.templ.requiredRoles;
        card.required = std::find(required.begin(), required.end(), card.role) != required.end();
        card.problematic = card.file && troubled.contains(card.file->id);
    }
    return cards;
}

FileCardLook fileCardLook(const FileCardInfo& card) {
    FileCardLook look;
    char number[16];
    std::snprintf(number, sizeof number, "%02d", card.index);
    look.number = number;
    look.role = roleLabel(card.role);
    if (card.file && card.count >= 2) look.extra = "+" + std::to_string(card.count - 1);
    look.placeholder = L(card.required ? "添加{0}" : "可选{0}", look.role);
    if (card.file) {
        look.name = card.file->name;
        look.accessibleName = L("查看{0}：{1}", look.role, card.file->name);
        if (card.file->duration) look.duration = shortTime(*card.file->duration);
        look.symbol = card.problematic ? "exclamationmark.circle.fill" : "checkmark.circle.fill";
        look.tone = card.problematic ? ViewTone::warning : ViewTone::green;
    } else {
        look.name = L(card.required ? "等待添加" : "按需添加");
        look.accessibleName = L("添加{0}", look.role);
        look.symbol = "circle.dashed";
        look.tone = ViewTone::secondary;
        look.opacity = 0.4;
    }
    return look;
}

bool fileCardEnabled(const FileCardInfo& card, bool busy, bool recovery) {
    if (busy) return false;
    // An empty card chooses files, which recovery mode refuses.
    return card.file.has_value() || !recovery;
}

std::string allFilesTitle(std::size_t fileCount) { return L("全部文件  {0}", fileCount); }

std::string ruleSetLabel(const std::string& name) {
    for (const DeliveryTemplate* builtIn :
         {&DeliveryTemplate::video(), &DeliveryTemplate::graphic(), &DeliveryTemplate::flexible()}) {
        if (name == builtIn->name) return L(name);
    }
    return name;
}

std::string useAsText(FileRole role) { return L("设为{0}", roleLabel(role)); }

DeliveryFile withRole(const DeliveryFile& file, FileRole role) {
    DeliveryFile copy = file;
    copy.role = role;
    return copy;
}

bool isEdited(const DeliveryFile& file) { return file.crop.has_value() || file.editedText.has_value(); }

FileRowGeometry fileRowGeometry(double width, double height, double nameWidth, double editedWidth, double sizeWidth) {
    constexpr double spacing = 10, symbolWidth = 20, menuWidth = 22;
    FileRowGeometry g;
    g.symbol = QRectF(0, 0, symbolWidth, height);
    g.menu = QRectF(width - menuWidth, 0, menuWidth, height);
    g.size = QRectF(g.menu.left() - spacing - sizeWidth, 0, sizeWidth, height);
    // The flexible space sits between the name (and its mark) and the size, spaced on both sides.
    const double limit = g.size.left() - spacing;
    const double nameLeft = symbolWidth + spacing;
    const double markRoom = editedWidth > 0 ? spacing + editedWidth : 0;
    const double room = std::max(0.0, limit - spacing - nameLeft - markRoom);
    g.name = QRectF(nameLeft, 0, std::min(nameWidth, room), height);
    if (editedWidth > 0) g.edited = QRectF(g.name.right() + spacing, 0, editedWidth, height);
    return g;
}

CheckRowGeometry checkRowGeometry(double width, double height, double buttonWidth) {
    constexpr double spacing = 13, symbolWidth = 18;
    CheckRowGeometry g;
    g.symbol = QRectF(0, 0, symbolWidth, height);
    const double textLeft = symbolWidth + spacing;
    double textRight = width;
    if (buttonWidth > 0) {
        g.button = QRectF(width - buttonWidth, 0, buttonWidth, height);
        textRight = g.button.left() - 2 * spacing;
    }
    g.text = QRectF(textLeft, 0, std::max(0.0, textRight - textLeft), height);
    return g;
}

}  // namespace sorvik::app
