// The values a project card shows.
#include <gtest/gtest.h>

#include "App/Support/LibraryFixtures.hpp"
#include "Sorvik/Views/Overview/Logic/ProjectCardLogic.hpp"
#include "SorvikCore/Localization.hpp"

using namespace sorvik;
using namespace sorvik::test;
using namespace sorvik::app;

namespace {

DeliveryFile file(const std::string& name, FileRole role = FileRole::extra, std::optional<double> duration = {}) {
    DeliveryFile made = makeFile(name, "/media/out", role);
    made.duration = duration;
    return made;
}

}  // namespace

TEST(ProjectCardLogic, ThePictureIsTheFirstImageElseTheFirstTimedFile) {
    Delivery project = makeProject("P");
    project.files = {file("notes.txt", FileRole::copy), file("cover.PNG", FileRole::cover)};
    EXPECT_EQ(projectCardValues(project).picture, 1u);
    project.files = {file("clip.mp4", FileRole::video, 12.0), file("notes.txt"), file("late.jpg")};
    EXPECT_EQ(projectCardValues(project).picture, 2u);
    // A video without a duration is no picture; one with a duration is.
    project.files = {file("broken.mp4", FileRole::video), file("clip.mov", FileRole::video, 3.0)};
    EXPECT_EQ(projectCardValues(project).picture, 1u);
    project.files = {file("notes.txt"), file("broken.mp4", FileRole::video)};
    EXPECT_FALSE(projectCardValues(project).picture);
}

TEST(ProjectCardLogic, CountsRolesInTheRowOrderAndTheBadge) {
    Delivery project = makeProject("P");
    project.files = {file("a.mp4", FileRole::video, 1.0),
                     file("b.mp4", FileRole::video, 1.0),
                     file("c.jpg", FileRole::cover),
                     file("x1"),
                     file("x2"),
                     file("x3"),
                     file("s.srt", FileRole::subtitle)};
    const ProjectCardValues values = projectCardValues(project);
    EXPECT_EQ(values.assetCount, 7u);
    EXPECT_EQ(values.roles,
              (std::vector<RoleCount>{{FileRole::video, 2}, {FileRole::cover, 1}, {FileRole::subtitle, 1}}));
    EXPECT_EQ(values.badge, "项目");
    project.discoveryKey = "洱海骑行";
    EXPECT_EQ(projectCardValues(project).badge, "自动关联");

    const ProjectCardValues empty = projectCardValues(makeProject("Empty"));
    EXPECT_EQ(empty.assetCount, 0u);
    EXPECT_TRUE(empty.roles.empty());
    EXPECT_FALSE(empty.picture);
    EXPECT_EQ(cardDetailText(0, 0), L("{0} 件素材 · 来自 {1} 个文件夹", 0, 0));
}
