#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "SorvikCore/FileRemovalUndo.hpp"

using namespace sorvik;

namespace {

DeliveryFile file(const std::string& name, FileRole role = FileRole::extra) {
    return DeliveryFile(UUID::make(), name, "files/" + name, role, 100, std::string(64, 'a'));
}

std::vector<std::string> names(const Delivery& delivery) {
    std::vector<std::string> out;
    for (const auto& f : delivery.files) out.push_back(f.name);
    return out;
}

void remove(Delivery& delivery, const UUID& id) {
    std::erase_if(delivery.files, [&](const DeliveryFile& f) { return f.id == id; });
}

struct Project {
    DeliveryFile a = file("A"), b = file("B"), c = file("C");
    Delivery delivery{UUID::make(), "周末", {a, b, c}, DeliveryTemplate::flexible()};
};

using Names = std::vector<std::string>;

}  // namespace

TEST(FileRemovalUndo, PutsTheFileBackAtItsOldPlaceAmongLaterChanges) {
    {
        Project p;
        const auto undo = FileRemovalUndo::make(p.delivery, p.b.id);
        ASSERT_TRUE(undo);
        EXPECT_EQ(undo->deliveryID(), p.delivery.id);
        remove(p.delivery, p.b.id);
        EXPECT_TRUE(undo->restore(p.delivery));
        EXPECT_EQ(names(p.delivery), (Names{"A", "B", "C"}));
    }
    {
        Project p;
        const auto undo = FileRemovalUndo::make(p.delivery, p.b.id);
        remove(p.delivery, p.b.id);
        p.delivery.files.push_back(file("D"));
        EXPECT_TRUE(undo->restore(p.delivery));
        EXPECT_EQ(names(p.delivery), (Names{"A", "B", "C", "D"}));
    }
    {
        Project p;
        const auto undo = FileRemovalUndo::make(p.delivery, p.b.id);
        remove(p.delivery, p.b.id);
        remove(p.delivery, p.c.id);
        EXPECT_TRUE(undo->restore(p.delivery));
        EXPECT_EQ(names(p.delivery), (Names{"A", "B"}));
    }
    {
        Project p;
        const auto undo = FileRemovalUndo::make(p.delivery, p.c.id);
        p.delivery.files.clear();
        EXPECT_TRUE(undo->restore(p.delivery));
        EXPECT_EQ(names(p.delivery), (Names{"C"}));
    }
    {
        Project p;
        const auto undo = FileRemovalUndo::make(p.delivery, p.a.id);
        remove(p.delivery, p.a.id);
        EXPECT_TRUE(undo->restore(p.delivery));
        EXPECT_EQ(names(p.delivery), (Names{"A", "B", "C"}));
    }
}

TEST(FileRemovalUndo, NoTokenForAFileThatIsNotInTheProject) {
    Project p;
    const Delivery before = p.delivery;
    EXPECT_FALSE(FileRemovalUndo::make(p.delivery, UUID::make()));
    EXPECT_FALSE(FileRemovalUndo::make(p.delivery, p.delivery.id));
    EXPECT_EQ(p.delivery.files, before.files);
}

TEST(FileRemovalUndo, RefusesAnotherProjectOrAFileAlreadyThere) {
    Project p;
    const auto undo = FileRemovalUndo::make(p.delivery, p.b.id);
    remove(p.delivery, p.b.id);

    Delivery other = p.delivery;
    other.id = UUID::make();
    EXPECT_FALSE(undo->restore(other));
    EXPECT_EQ(names(other), (Names{"A", "C"}));

    ASSERT_TRUE(undo->restore(p.delivery));
    EXPECT_FALSE(undo->restore(p.delivery));
    EXPECT_EQ(names(p.delivery), (Names{"A", "B", "C"}));

    // A file with the same identity added again in the meantime blocks the restore.
    Project q;
    const auto again = FileRemovalUndo::make(q.delivery, q.b.id);
    remove(q.delivery, q.b.id);
    DeliveryFile readded = q.b;
    readded.name = "B2";
    q.delivery.files.push_back(readded);
    EXPECT_FALSE(again->restore(q.delivery));
    EXPECT_EQ(names(q.delivery), (Names{"A", "C", "B2"}));
}

TEST(FileRemovalUndo, CapturesTheFirstOfTwoFilesWithOneIdentifier) {
    Project p;
    DeliveryFile twin = p.b;
    twin.name = "B-twin";
    p.delivery.files.push_back(twin);
    const auto undo = FileRemovalUndo::make(p.delivery, p.b.id);
    remove(p.delivery, p.b.id);  // removes both
    ASSERT_TRUE(undo->restore(p.delivery));
    EXPECT_EQ(names(p.delivery), (Names{"A", "B", "C"}));
}

TEST(FileRemovalUndo, RestoresTheRecordAsCapturedAndChangesNothingElse) {
    Project p;
    p.delivery.files[1].crop = CropSpec{0.75, 0.2, 0.8};
    p.delivery.files[1].editedText = "改过的文字";
    p.delivery.files[1].sourceUpdatePending = true;
    const DeliveryFile captured = p.delivery.files[1];
    const auto undo = FileRemovalUndo::make(p.delivery, p.b.id);

    // Edits to the file after the token was taken are not carried back.
    p.delivery.files[1].editedText = "更新";
    remove(p.delivery, p.b.id);
    p.delivery.name = "改名";
    const Date updatedAt = p.delivery.updatedAt;
    const auto exports = p.delivery.exports.size();

    ASSERT_TRUE(undo->restore(p.delivery));
    EXPECT_EQ(p.delivery.files[1], captured);
    EXPECT_EQ(p.delivery.name, "改名");
    EXPECT_EQ(p.delivery.updatedAt, updatedAt);
    EXPECT_EQ(p.delivery.exports.size(), exports);
}
