#include <csignal>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "SorvikCore/Repository.hpp"
#include "Support/TestSupport.hpp"

using namespace sorvik;
namespace fs = std::filesystem;

namespace {

/// The library state with n projects; project k is always named "project-k".
WorkspaceState stateWith(std::size_t n) {
    WorkspaceState w;
    for (std::size_t k = 0; k < n; ++k) {
        Delivery d(UUID::make(), "project-" + std::to_string(k), {}, DeliveryTemplate::flexible());
        d.files.push_back(DeliveryFile(UUID::make(), "file-" + std::to_string(k) + ".txt", "", FileRole::copy,
                                       static_cast<std::int64_t>(k), std::string(64, 'a'), std::nullopt, std::nullopt,
                                       std::nullopt, std::string(200, 'x')));
        w.projects.push_back(std::move(d));
    }
    return w;
}

/// Saves ever larger states from `start` on, reporting each finished save with one byte.
[[noreturn]] void saveForever(const fs::path& root, std::size_t start, int progress) {
    const Repository repo(root);
    WorkspaceState w = stateWith(start);
    for (std::size_t n = start + 1;; ++n) {
        w = stateWith(n);
        repo.saveWorkspace(w);
        const char byte = 1;
        if (::write(progress, &byte, 1) != 1) ::_exit(2);
    }
}

}  // namespace

TEST(CrashSafety, KilledSavesLeaveTheOldOrTheNewLibrary) {
    test::TempDir tmp;
    const fs::path root = tmp / "lib";
    Repository(root).saveWorkspace(stateWith(0));
    std::mt19937 random(20261209);
    std::size_t known = 0;  // projects in the last save known to have finished

    for (int round = 0; round < 500; ++round) {
        if (known > 40) {  // keep each save small
            Repository(root).saveWorkspace(stateWith(0));
            known = 0;
        }
        int pipeFds[2];
        ASSERT_EQ(::pipe(pipeFds), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(pipeFds[0]);
            saveForever(root, known, pipeFds[1]);
        }
        ::close(pipeFds[1]);
        const int waitFor = static_cast<int>(random() % 3);
        char byte;
        int finished = 0;
        while (finished < waitFor && ::read(pipeFds[0], &byte, 1) == 1) ++finished;
        // Kill at a random moment inside the next save.
        const unsigned spin = random() % 200000;
        for (unsigned i = 0; i < spin; ++i) asm volatile("" ::: "memory");
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        while (::read(pipeFds[0], &byte, 1) == 1) ++finished;
        ::close(pipeFds[0]);
        known += static_cast<std::size_t>(finished);

        const WorkspaceState loaded = Repository(root).loadWorkspace();
        const std::size_t n = loaded.projects.size();
        ASSERT_TRUE(n == known || n == known + 1) << "round " << round << ": " << n << " vs " << known;
        for (std::size_t k = 0; k < n; ++k) ASSERT_EQ(loaded.projects[k].name, "project-" + std::to_string(k));
        known = n;
    }
    // Temporary files of killed saves are cleared by the next save and never trip it.
    Repository(root).saveWorkspace(stateWith(1));
    for (const auto& entry : fs::directory_iterator(root))
        EXPECT_EQ(entry.path().filename(), "workspace.json") << entry.path();
}
