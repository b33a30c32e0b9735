#include "Sorvik/Views/Overview/Logic/ProjectCardModel.hpp"

#include <QMetaObject>
#include <unordered_set>
#include <utility>

#include "Sorvik/Support/Strings.hpp"
#include "Sorvik/Views/Project/Logic/ProjectDetailLogic.hpp"
#include "SorvikCore/Localization.hpp"

namespace sorvik::app {

ProjectCardModel::ProjectCardModel(std::unique_ptr<BackgroundLane> lane, QObject* parent)
    : QAbstractListModel(parent), lane_(std::move(lane)), self_(std::make_shared<ProjectCardModel*>(this)) {
    if (!lane_) lane_ = std::make_unique<ThreadLane>();
}

ProjectCardModel::~ProjectCardModel() {
    // Joins the lane first: no lookup posts to this model afterwards.
    lane_.reset();
    self_.reset();
}

void ProjectCardModel::applyLocated(const ProjectCard& card, ProjectCard& into) const {
    into.pictureLocated = false;
    into.pictureLocation.reset();
    into.folderCount.reset();
    const auto it = located_.find(card.id);
    if (it == located_.end()) return;
    into.folderCount = it->second.folderCount;
    if (!card.picture || it->second.pictureID == card.picture->id) {
        into.pictureLocated = true;
        into.pictureLocation = it->second.pictureLocation;
    }
}

void ProjectCardModel::setProjects(const std::vector<Delivery>& projects, const Repository* repository) {
    setProjects(std::make_shared<const std::vector<Delivery>>(projects), repository);
}

void ProjectCardModel::setProjects(std::shared_ptr<const std::vector<Delivery>> projects, const Repository* repository,
                                   std::stop_token giveUp) {
    const std::uint64_t generation = ++generation_;
    std::unordered_map<UUID, ProjectCard> cards;
    cards.reserve(projects->size());
    // The picture of each project, by position: the lookup reads the projects from the snapshot.
    auto pictures = std::make_shared<std::vector<std::optional<std::size_t>>>();
    pictures->reserve(projects->size());
    for (const Delivery& project : *projects) {
        ProjectCard card;
        card.id = project.id;
        card.name = qs(project.name);
        card.values = projectCardValues(project);
        if (card.values.picture) card.picture = project.files[*card.values.picture];
        applyLocated(card, card);
        pictures->push_back(card.values.picture);
        cards.try_emplace(project.id, std::move(card));
    }

    // The rows keep their order; rows whose project is gone leave. The old cards live until the
    // rows no longer point at them.
    std::vector<UUID> ids;
    ids.reserve(rows_.size());
    for (const ProjectCard* row : rows_) {
        if (cards.contains(row->id)) ids.push_back(row->id);
    }
    const std::unordered_map<UUID, ProjectCard> previous = std::exchange(cards_, std::move(cards));
    std::vector<ProjectCard*> rows;
    rows.reserve(ids.size());
    for (const UUID& id : ids) rows.push_back(&cards_.at(id));
    showRows(std::move(rows));

    std::optional<Repository> library;
    if (repository) library.emplace(*repository);
    std::weak_ptr<ProjectCardModel*> alive = self_;
    lane_->post([projects = std::move(projects), pictures, library, generation, alive, giveUp,
                 context = this](std::stop_token stop) {
        auto located = std::make_shared<std::vector<std::pair<UUID, Located>>>();
        try {
            located->reserve(projects->size());
            const Repository* repository = library ? &*library : nullptr;
            for (std::size_t i = 0; i < projects->size(); ++i) {
                if (stop.stop_requested() || giveUp.stop_requested()) return;
                const Delivery& project = (*projects)[i];
                Located found;
                found.folderCount = projectCounts(project, repository).folders;
                if (const std::optional<std::size_t> picture = (*pictures)[i]) {
                    found.pictureID = project.files[*picture].id;
                    found.pictureLocation = fileLocation(project.files[*picture], repository);
                }
                located->emplace_back(project.id, std::move(found));
            }
        } catch (...) {
            return;  // out of memory: the cards keep showing what they had
        }
        QMetaObject::invokeMethod(
            context,
            [alive, generation, located] {
                if (const std::shared_ptr<ProjectCardModel*> model = alive.lock())
                    (*model)->receive(generation, located);
            },
            Qt::QueuedConnection);
    });
}

void ProjectCardModel::receive(std::uint64_t generation,
                               std::shared_ptr<std::vector<std::pair<UUID, Located>>> located) {
    // Locations of projects as they were before a later change are dropped.
    if (generation != generation_) return;
    located_.clear();
    located_.reserve(located->size());
    for (auto& [id, found] : *located) located_.insert_or_assign(id, std::move(found));
    for (auto& [id, card] : cards_) applyLocated(card, card);
    if (!rows_.empty()) emit dataChanged(index(0), index(static_cast<int>(rows_.size()) - 1));
}

void ProjectCardModel::setShown(const std::vector<const Delivery*>& shown) {
    std::vector<ProjectCard*> rows;
    rows.reserve(shown.size());
    for (const Delivery* project : shown) {
        const auto it = cards_.find(project->id);
        if (it != cards_.end()) rows.push_back(&it->second);
    }
    if (rows == rows_) return;
    showRows(std::move(rows));
}

void ProjectCardModel::showRows(std::vector<ProjectCard*> rows) {
    // A row that stays but points at a card made again is reported as changed.
    ModelRows::replace<UUID>(*this, rows_, std::move(rows), [](const ProjectCard* row) { return row->id; });
}

const ProjectCard* ProjectCardModel::card(int row) const {
    if (row < 0 || row >= static_cast<int>(rows_.size())) return nullptr;
    return rows_[static_cast<std::size_t>(row)];
}

const ProjectCard* ProjectCardModel::card(const QModelIndex& index) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return nullptr;
    return card(index.row());
}

std::optional<UUID> ProjectCardModel::projectID(const QModelIndex& index) const {
    if (const ProjectCard* found = card(index)) return found->id;
    return std::nullopt;
}

int ProjectCardModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QVariant ProjectCardModel::data(const QModelIndex& index, int role) const {
    const ProjectCard* found = card(index);
    if (!found) return {};
    switch (role) {
        case Qt::DisplayRole: return found->name;
        case IdRole: return qs(found->id.string());
        case DetailRole:
            if (!found->folderCount) return {};
            return qs(cardDetailText(found->values.assetCount, *found->folderCount));
        default: return {};
    }
}

QHash<int, QByteArray> ProjectCardModel::roleNames() const {
    QHash<int, QByteArray> names = QAbstractListModel::roleNames();
    names.insert(IdRole, "projectID");
    names.insert(DetailRole, "detail");
    return names;
}

}  // namespace sorvik::app
