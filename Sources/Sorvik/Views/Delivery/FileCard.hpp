#pragma once
// One slot of the delivery workspace's file grid: the first file of a role with its preview, state
// and count, or an empty slot that adds files. Drawn in one piece; the whole card is the button.
#include <QAbstractButton>
#include <filesystem>
#include <optional>

#include "Sorvik/Stores/AppStore.hpp"
#include "Sorvik/Views/Delivery/Logic/DeliveryLogic.hpp"

namespace sorvik::app {

class ThumbnailLoader;

class FileCard : public QAbstractButton {
    Q_OBJECT
public:
    FileCard(AppStore& store, ThumbnailLoader& loader, QWidget* parent = nullptr);

    /// Shows the card; texts are taken in the interface language now.
    void setCard(const FileCardInfo& card);
    const FileCardInfo& card() const { return card_; }
    const FileCardLook& look() const { return look_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void activate();

    AppStore& store_;
    ThumbnailLoader& loader_;
    FileCardInfo card_;
    FileCardLook look_;
    std::optional<std::filesystem::path> location_;
    bool hovering_ = false;
};

}  // namespace sorvik::app
