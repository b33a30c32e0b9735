// The item models of the sidebar and the overview's cards, checked by Qt's model tester while the
// library changes under them.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QCoreApplication>
#include <QSignalSpy>
#include <deque>

#include "App/Support/LibraryFixtures.hpp"
#include "App/Support/TestLanes.hpp"
#include "Sorvik/Views/Overview/Logic/ProjectCardModel.hpp"
#include "Sorvik/Views/Sidebar/Logic/SidebarModel.hpp"
#include "SorvikCore/Repository.hpp"
#include "Support/TestSupport.hpp"

using namespace sorvik;
using namespace sorvik::test;
using namespace sorvik::app;

namespace {

class QueueLane : public BackgroundLane {
public:
    void post(Job job) override { jobs.push_back(std::move(job)); }
    std::deque<Job> jobs;
};

void deliver() {
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
}

std::vector<const Delivery*> pointers(const std::vector<Delivery>& projects) {
    std::vector<const Delivery*> out;
    for (const Delivery& project : projects) out.push_back(&project);
    return out;
}

}  // namespace

TEST(SidebarModel, RowsFollowTheProjectsAndTheSelection) {
    SidebarModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    std::vector<Delivery> projects{makeProject("Old", 100), makeProject("New", 300), makeProject("Mid", 200)};
    model.setProjects(projects);
    ASSERT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.index(0).data().toString(), "New");
    EXPECT_EQ(model.index(2).data().toString(), "Old");
    EXPECT_EQ(model.projectID(model.index(0)), projects[1].id);

    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    model.setSelection(WorkspaceSection::project, projects[2].id);
    EXPECT_TRUE(model.index(1).data(SidebarModel::SelectedRole).toBool());
    EXPECT_FALSE(model.index(0).data(SidebarModel::SelectedRole).toBool());
    EXPECT_EQ(changed.count(), 1);
    model.setSelection(WorkspaceSection::projects, projects[2].id);
    EXPECT_FALSE(model.index(1).data(SidebarModel::SelectedRole).toBool());

    // A rename in place keeps the rows; a new order resets them.
    projects[0].name = "Old renamed";
    model.setProjects(projects);
    EXPECT_EQ(reset.count(), 0);
    EXPECT_EQ(model.index(2).data().toString(), "Old renamed");
    projects[0].updatedAt = Date{400};
    projects.push_back(makeProject("Added", 50));
    model.setProjects(projects);
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(model.rowCount(), 4);
    EXPECT_EQ(model.index(0).data().toString(), "Old renamed");
    model.setProjects({});
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_FALSE(model.projectID(model.index(0)));
}

TEST(ProjectCardModel, CardsShowTheMatchingProjectsAndLocationsArriveLater) {
    TempDir library;
    const Repository repository(library.path());
    auto lane = std::make_unique<QueueLane>();
    QueueLane& queue = *lane;
    ProjectCardModel model(std::move(lane));
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);

    std::vector<Delivery> projects{makeProject("One"), makeProject("Two"), makeProject("Three")};
    projects[0].files = {makeFile("a.txt", "/media/x"), makeFile("b.png", "/media/y")};
    projects[1].files = {makeFile("c.mp4", "/media/x", FileRole::video)};
    model.setProjects(projects, &repository);
    model.setShown(pointers(projects));
    ASSERT_EQ(model.rowCount(), 3);
    const ProjectCard* one = model.card(0);
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(one->name, "One");
    ASSERT_TRUE(one->picture);
    EXPECT_EQ(one->picture->name, "b.png");
    // Folder counts and the picture's place are looked up off this thread.
    EXPECT_FALSE(one->folderCount);
    EXPECT_FALSE(one->pictureLocated);
    EXPECT_FALSE(model.index(0).data(ProjectCardModel::DetailRole).isValid());
    ASSERT_EQ(queue.jobs.size(), 1u);
    queue.jobs.front()({});
    queue.jobs.clear();
    deliver();
    one = model.card(0);
    EXPECT_EQ(one->folderCount, 2u);
    EXPECT_TRUE(one->pictureLocated);
    EXPECT_EQ(one->pictureLocation, std::filesystem::path("/media/y/b.png"));
    EXPECT_TRUE(model.index(0).data(ProjectCardModel::DetailRole).isValid());
    // A project without a picture is located at once with its folders.
    EXPECT_TRUE(model.card(2)->pictureLocated);
    EXPECT_EQ(model.card(2)->folderCount, 0u);

    // A search shows fewer cards; the rows follow.
    model.setShown({&projects[2], &projects[0]});
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.index(0).data().toString(), "Three");
    EXPECT_EQ(model.projectID(model.index(1)), projects[0].id);

    // The projects change twice; the lookup for the first change finishes last and is dropped,
    // while the cards keep the values they had.
    projects[0].files.push_back(makeFile("d.txt", "/media/z"));
    model.setProjects(projects, &repository);
    projects[0].files.push_back(makeFile("e.txt", "/media/w"));
    model.setProjects(projects, &repository);
    ASSERT_EQ(queue.jobs.size(), 2u);
    EXPECT_EQ(model.card(1)->folderCount, 2u);
    queue.jobs.back()({});
    deliver();
    EXPECT_EQ(model.card(1)->folderCount, 4u);
    queue.jobs.front()({});
    deliver();
    EXPECT_EQ(model.card(1)->folderCount, 4u);
    queue.jobs.clear();

    // A project that goes away takes its card with it.
    projects.erase(projects.begin());
    model.setProjects(projects, &repository);
    EXPECT_EQ(model.rowCount(), 1);
    EXPECT_EQ(model.index(0).data().toString(), "Three");
    model.setShown({});
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.card(0), nullptr);
}

TEST(ProjectCardModel, WithoutALibraryNoFileHasALocation) {
    ProjectCardModel model(std::make_unique<InlineLane>());
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    std::vector<Delivery> projects{makeProject("One")};
    projects[0].files = {makeFile("a.jpg"), makeFile("b.txt", "/elsewhere")};
    model.setProjects(projects, nullptr);
    model.setShown(pointers(projects));
    deliver();
    const ProjectCard* card = model.card(0);
    ASSERT_NE(card, nullptr);
    EXPECT_EQ(card->values.assetCount, 2u);
    EXPECT_EQ(card->folderCount, 0u);
    EXPECT_TRUE(card->pictureLocated);
    EXPECT_FALSE(card->pictureLocation);
}
