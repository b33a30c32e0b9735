#include "SorvikCore/ProjectMatcher.hpp"

#include <algorithm>
#include <atomic>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include "SorvikCore/AhoCorasick.hpp"
#include "SorvikCore/CheckEngine.hpp"
#include "SorvikCore/TermPattern.hpp"
#include "SorvikCore/TextMatching.hpp"
#include "SorvikCore/UnicodeText.hpp"

namespace sorvik::ProjectMatcher {

namespace {

constexpr std::size_t kMaxTopicCharacters = 70;
constexpr std::size_t kMaxCopyTitleCharacters = 60;
constexpr std::size_t kMaxRecordBytes = 262144;
constexpr int kMaxSuffixPasses = 8;

constexpr std::string_view kReasonFolder = "项目目录或同目录说明";
constexpr std::string_view kReasonRecord = "生成记录中的项目字段";
constexpr std::string_view kReasonFileName = "共同文件名主题";
constexpr std::string_view kReasonCopyTitle = "文案标题";

constexpr std::string_view kReasonMatched = "匹配项目名称或别名";
constexpr std::string_view kReasonSeveral = "同时匹配多个项目，需要确认";
constexpr std::string_view kReasonDeleted = "匹配已删除项目，等待手动关联";
constexpr std::string_view kReasonNoClue = "文件名与目录尚无明确项目线索";
constexpr std::string_view kReasonImageText = "图片文字匹配项目主题";
constexpr std::string_view kReasonBodyOrFolder = "正文或目录匹配项目主题";

std::string weakTopicReason(const std::string& title) { return "发现主题“" + title + "”，等待关联素材"; }

// A leading date or date-time, then a leading sequence number.
constexpr std::u16string_view kDatePattern =
    u"^\\d{4}[-_.]?\\d{2}[-_.]?\\d{2}(?:[T_ -]\\d{2}[-_:]?\\d{2}(?:[-_:]?\\d{2})?)?[-_ .]*";
constexpr std::u16string_view kSequencePattern = u"^\\d{1,3}[-_. ]+";

// One role, version or size suffix at the end. A match can only start where a run of
// separators (or, with no separators, a run of digits) starts, and the runs are taken
// possessively: the leftmost match is the same as with plain greedy runs, but the search
// stays linear on long runs of "-_ ." or digits instead of retrying every suffix of them.
constexpr std::u16string_view kSuffixPattern =
    u"(?i)(?<![-_ .])[-_ .]*+(?:封面|成片|视频|字幕|发布文案|文案|口播稿|脚本|终稿|定稿|竖版|横版|图文|图片|导出"
    u"|版本\\d++|第\\d++版|第\\d++张|(?<!\\d)\\d++[x×]\\d++)$"
    u"|(?<![-_ .])[-_ .]++(?:v\\d++(?:\\.\\d++)*+|final|draft|export|render|cover|thumbnail|video|subtitle[s]?"
    u"|copy|script|image[s]?|\\d{1,3})$";

// Tests on the key of a cleaned name.
constexpr std::u16string_view kDigitsPattern = u"^[0-9]+$";
constexpr std::u16string_view kDefaultNamePattern =
    u"^(?:img|dsc|dscf|pxl|image|video|render|screenshot|chatgptimage|未命名|屏幕截图)[0-9a-f]*$";
constexpr std::u16string_view kHashPattern = u"^[0-9a-f]{16,}$";

struct Patterns {
    text::Regex date{kDatePattern};
    text::Regex sequence{kSequencePattern};
    text::Regex suffix{kSuffixPattern};
    text::Regex digits{kDigitsPattern};
    text::Regex defaultName{kDefaultNamePattern, UREGEX_CASE_INSENSITIVE};
    text::Regex hash{kHashPattern, UREGEX_CASE_INSENSITIVE};
};

const Patterns& patterns() {
    static const Patterns shared;
    return shared;
}

bool isASCII(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::size_t codePointCount(std::string_view s) {
    return static_cast<std::size_t>(
        std::count_if(s.begin(), s.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

/// User-perceived characters. When no code point joins a cluster (break class Other
/// throughout, as for plain letters and Han), they are the code points.
std::size_t characterCount(std::string_view s) {
    if (isASCII(s)) return s.size();
    for (int32_t i = 0; i < static_cast<int32_t>(s.size());) {
        UChar32 c;
        U8_NEXT_OR_FFFD(reinterpret_cast<const uint8_t*>(s.data()), i, static_cast<int32_t>(s.size()), c);
        if (u_getIntPropertyValue(c, UCHAR_GRAPHEME_CLUSTER_BREAK) != U_GCB_OTHER) return unicode::graphemeCount(s);
    }
    return codePointCount(s);
}

/// The first count user-perceived characters.
std::string characterPrefix(std::string_view s, std::size_t count) {
    if (codePointCount(s) <= count) return std::string(s);
    return unicode::graphemePrefix(s, count);
}

bool isTopicSeparator(char16_t c) { return c == u'-' || c == u'_' || c == u' ' || c == u'.'; }

void trimTopicSeparators(icu::UnicodeString& s) {
    int32_t end = s.length();
    while (end > 0 && isTopicSeparator(s.charAt(end - 1))) --end;
    int32_t begin = 0;
    while (begin < end && isTopicSeparator(s.charAt(begin))) ++begin;
    if (begin > 0 || end < s.length()) s = icu::UnicodeString(s, begin, end - begin);
}

/// The cleaning of names into topics, with matchers of its own (matchers are not shareable).
class TopicCleaner {
public:
    TopicCleaner()
        : date_(patterns().date.matcher()), sequence_(patterns().sequence.matcher()),
          suffix_(patterns().suffix.matcher()), digits_(patterns().digits.matcher()),
          defaultName_(patterns().defaultName.matcher()), hash_(patterns().hash.matcher()) {}

    std::optional<std::string> topic(std::string_view name) {
        icu::UnicodeString s = text::toUTF16(unicode::trimWhitespaceAndNewlines(name));
        s = text::removeAll(*date_, s);
        s = text::removeAll(*sequence_, s);
        for (int pass = 0; pass < kMaxSuffixPasses; ++pass) {
            icu::UnicodeString next = text::removeAll(*suffix_, s);
            trimTopicSeparators(next);
            if (next == s) break;
            s = std::move(next);
        }
        const std::string cleaned = text::toUTF8(s);
        const std::string k = key(cleaned);
        if (operationalFolders().contains(k)) return std::nullopt;
        if (k.starts_with("chatgptimage") || k.starts_with("geminigeneratedimage")) return std::nullopt;
        const std::size_t count = characterCount(k);
        if (count < 2) return std::nullopt;
        if (generic().contains(k)) return std::nullopt;
        const icu::UnicodeString k16 = text::toUTF16(k);
        if (text::find(*digits_, k16) || text::find(*defaultName_, k16) || text::find(*hash_, k16)) return std::nullopt;
        if (count < 4 && !text::containsHan(k16)) return std::nullopt;
        return characterPrefix(cleaned, kMaxTopicCharacters);
    }

private:
    std::unique_ptr<icu::RegexMatcher> date_, sequence_, suffix_, digits_, defaultName_, hash_;
};

/// The part of a file name before its last extension.
std::string_view withoutExtension(const DeliveryFile& file) {
    if (file.fileExtension().empty()) return file.name;
    return std::string_view(file.name).substr(0, file.name.rfind('.'));
}

/// hint(for:) with the topic functions supplied, so that grouping can reuse its cleaner.
template <typename FolderTopicOf, typename TopicOf>
std::optional<ProjectHint> hintWith(const IndexedAsset& asset, FolderTopicOf&& folderTopicOf, TopicOf&& topicOf) {
    if (asset.folderHint)
        if (auto t = folderTopicOf(*asset.folderHint)) return ProjectHint{*t, true, std::string(kReasonFolder)};

    const DeliveryFile& file = asset.file;
    const auto& body = file.effectiveText();
    if (body && body->size() < kMaxRecordBytes && file.fileExtension() == "json") {
        std::optional<Json> record;
        try {
            record = json::parse(*body);
        } catch (const std::exception&) {
            record.reset();
        }
        if (record && record->is_object()) {
            for (const char* field : {"projectName", "project_name", "project", "topic"}) {
                auto it = record->find(field);
                if (it == record->end() || !it->is_string()) continue;
                if (auto t = topicOf(it->get_ref<const std::string&>()))
                    return ProjectHint{*t, true, std::string(kReasonRecord)};
            }
        }
    }

    if (auto t = topicOf(withoutExtension(file))) return ProjectHint{*t, false, std::string(kReasonFileName)};

    if (file.role == FileRole::copy && body) {
        const auto title = CheckEngine::titleAndBody(*body).first;
        if (auto t = topicOf(title); t && characterCount(*t) <= kMaxCopyTitleCharacters)
            return ProjectHint{*t, true, std::string(kReasonCopyTitle)};
    }
    return std::nullopt;
}

/// The key a project is known by: its discovery key, else the key of its name.
std::string projectKey(const Delivery& project) {
    return project.discoveryKey ? *project.discoveryKey : key(project.name);
}

// ---------------------------------------------------------------------------------------
// Grouping's fast path. Per asset the hint, its key and the searchable text (folded, and
// keyed when a Han term needs it) are computed once; per project list the keys, the terms'
// compiled patterns and two automata: the folded pieces of Latin terms and the keys of Han
// terms. One pass of each automaton over an asset's text yields the terms it can match;
// only those run the exact pattern.

struct AssetFacts {
    std::optional<ProjectHint> hint;
    std::string hintKey;
    std::string searchable;
    std::string folded;
    std::optional<std::string> keyed;
    std::optional<icu::UnicodeString> searchable16;

    const std::string& keyedText() {
        if (!keyed) keyed = key(searchable);
        return *keyed;
    }
    const icu::UnicodeString& searchableUTF16() {
        if (!searchable16) searchable16 = text::toUTF16(searchable);
        return *searchable16;
    }
    void dropTexts() {
        searchable = {};
        folded = {};
        keyed.reset();
        searchable16.reset();
    }
};

class ProjectIndex;

/// Per-thread working memory of ProjectIndex::match.
struct MatchScratch {
    std::uint32_t stamp = 0;
    std::vector<std::uint32_t> pieceSeen, termSeen, termCount, hanSeen, projectSeen;
    std::vector<std::unique_ptr<icu::RegexMatcher>> matchers;
    std::vector<std::size_t> candidates;

    explicit MatchScratch(const ProjectIndex& index);
};

class ProjectIndex {
public:
    /// Indexes projects[begin...]; positions reported are indices into projects.
    ProjectIndex(const std::vector<Delivery>& projects, std::size_t begin = 0) : projectCount_(projects.size()) {
        std::unordered_map<std::string, std::uint32_t> pieceIDs, hanIDs;
        std::vector<std::string> pieceTexts, hanTexts;
        for (std::size_t p = begin; p < projects.size(); ++p) {
            const Delivery& project = projects[p];
            byKey_[projectKey(project)].push_back(p);
            auto addTerm = [&](const std::string& term) {
                const std::string termKey = key(term);
                if (characterCount(termKey) < 2) return;
                if (text::containsHan(term)) {
                    auto [it, added] = hanIDs.try_emplace(termKey, static_cast<std::uint32_t>(hanTexts.size()));
                    if (added) {
                        hanTexts.push_back(termKey);
                        hanUsers_.emplace_back();
                    }
                    auto& users = hanUsers_[it->second];
                    if (users.empty() || users.back() != p) users.push_back(p);
                    return;
                }
                const auto pieces = text::termPieces(text::toUTF16(term));
                const auto termIndex = static_cast<std::uint32_t>(latin_.size());
                std::vector<std::uint32_t> ids;
                for (const auto& piece : pieces) {
                    const std::string folded = text::foldCase(text::toUTF8(piece));
                    auto [it, added] = pieceIDs.try_emplace(folded, static_cast<std::uint32_t>(pieceTexts.size()));
                    if (added) {
                        pieceTexts.push_back(folded);
                        pieceUsers_.emplace_back();
                    }
                    if (std::find(ids.begin(), ids.end(), it->second) == ids.end()) ids.push_back(it->second);
                }
                for (auto id : ids) pieceUsers_[id].push_back(termIndex);
                latin_.push_back(LatinTerm{p, static_cast<std::uint32_t>(ids.size()),
                                           std::make_unique<text::Regex>(text::view(text::termPattern(pieces)))});
            };
            addTerm(project.name);
            if (project.keywords)
                for (const auto& alias : *project.keywords) addTerm(alias);
        }
        pieces_ = AhoCorasick(pieceTexts);
        han_ = AhoCorasick(hanTexts);
    }

    bool needsKeyedText() const { return !han_.empty(); }
    std::size_t projectCount() const { return projectCount_; }
    std::size_t pieceCount() const { return pieceUsers_.size(); }
    std::size_t latinCount() const { return latin_.size(); }
    std::size_t hanCount() const { return hanUsers_.size(); }

    /// Positions of the projects the asset matches, ascending.
    std::vector<std::size_t> match(AssetFacts& facts, MatchScratch& scratch) const {
        const std::uint32_t stamp = ++scratch.stamp;
        std::vector<std::size_t> found;
        auto mark = [&](std::size_t p) {
            if (scratch.projectSeen[p] == stamp) return;
            scratch.projectSeen[p] = stamp;
            found.push_back(p);
        };
        if (facts.hint)
            if (auto it = byKey_.find(facts.hintKey); it != byKey_.end())
                for (auto p : it->second) mark(p);

        if (!han_.empty()) {
            han_.scan(facts.keyedText(), [&](std::size_t id) {
                if (scratch.hanSeen[id] == stamp) return;
                scratch.hanSeen[id] = stamp;
                for (auto p : hanUsers_[id]) mark(p);
            });
        }

        scratch.candidates.clear();
        pieces_.scan(facts.folded, [&](std::size_t id) {
            if (scratch.pieceSeen[id] == stamp) return;
            scratch.pieceSeen[id] = stamp;
            for (auto t : pieceUsers_[id]) {
                if (scratch.termSeen[t] != stamp) {
                    scratch.termSeen[t] = stamp;
                    scratch.termCount[t] = 0;
                }
                if (++scratch.termCount[t] == latin_[t].piecesNeeded) scratch.candidates.push_back(t);
            }
        });
        for (auto t : scratch.candidates) {
            const LatinTerm& term = latin_[t];
            if (scratch.projectSeen[term.project] == stamp) continue;
            auto& matcher = scratch.matchers[t];
            if (!matcher) matcher = term.pattern->matcher();
            if (text::find(*matcher, facts.searchableUTF16())) mark(term.project);
        }
        std::sort(found.begin(), found.end());
        return found;
    }

private:
    struct LatinTerm {
        std::size_t project;
        std::uint32_t piecesNeeded;
        std::unique_ptr<text::Regex> pattern;
    };

    std::size_t projectCount_;
    std::unordered_map<std::string, std::vector<std::size_t>> byKey_;
    std::vector<LatinTerm> latin_;
    std::vector<std::vector<std::uint32_t>> pieceUsers_;  // piece -> Latin terms needing it
    std::vector<std::vector<std::size_t>> hanUsers_;      // Han key -> projects
    AhoCorasick pieces_, han_;
};

MatchScratch::MatchScratch(const ProjectIndex& index)
    : pieceSeen(index.pieceCount(), 0), termSeen(index.latinCount(), 0), termCount(index.latinCount(), 0),
      hanSeen(index.hanCount(), 0), projectSeen(index.projectCount(), 0), matchers(index.latinCount()) {}

/// Everything one thread needs to compute asset facts.
struct FactsWorker {
    TopicCleaner cleaner;
    std::unordered_map<std::string, std::optional<std::string>> folderTopics;

    AssetFacts facts(const IndexedAsset& asset, bool keyed) {
        AssetFacts f;
        // Many assets share a folder hint; each distinct one is cleaned once.
        auto folderTopicOf = [&](const std::string& folderHint) {
            auto [it, added] = folderTopics.try_emplace(folderHint);
            if (added) it->second = cleaner.topic(folderHint);
            return it->second;
        };
        f.hint = hintWith(asset, folderTopicOf, [&](std::string_view name) { return cleaner.topic(name); });
        if (f.hint) f.hintKey = key(f.hint->title);
        f.searchable = asset.searchableText();
        f.folded = text::foldCase(f.searchable);
        if (keyed) f.keyedText();
        return f;
    }
};

/// Runs work(worker, i) for i in [0, count) on several threads; each thread has its own
/// worker state made by makeWorker(). Results must be written per index. A stop requested through
/// `stop` ends the work between blocks with CancellationError.
template <typename MakeWorker, typename Work>
void parallelFor(std::size_t count, const std::stop_token& stop, MakeWorker&& makeWorker, Work&& work) {
    constexpr std::size_t kBlock = 64;
    const std::size_t hardware = std::max<std::size_t>(1, std::thread::hardware_concurrency());
    const std::size_t threads = std::min(hardware, (count + kBlock * 4 - 1) / (kBlock * 4));
    if (threads <= 1) {
        auto worker = makeWorker();
        for (std::size_t i = 0; i < count; ++i) {
            if (i % kBlock == 0 && stop.stop_requested()) throw CancellationError();
            work(worker, i);
        }
        return;
    }
    std::atomic<std::size_t> next{0};
    std::exception_ptr failure;
    std::mutex failureLock;
    auto run = [&] {
        try {
            auto worker = makeWorker();
            for (;;) {
                const std::size_t start = next.fetch_add(kBlock);
                if (start >= count) break;
                if (stop.stop_requested()) throw CancellationError();
                const std::size_t end = std::min(count, start + kBlock);
                for (std::size_t i = start; i < end; ++i) work(worker, i);
            }
        } catch (...) {
            std::lock_guard lock(failureLock);
            if (!failure) failure = std::current_exception();
            next.store(count);
        }
    };
    {
        std::vector<std::jthread> pool;
        pool.reserve(threads - 1);
        for (std::size_t t = 1; t < threads; ++t) pool.emplace_back(run);
        run();
    }
    if (failure) std::rethrow_exception(failure);
}

}  // namespace

const std::unordered_set<std::string>& operationalFolders() {
    static const std::unordered_set<std::string> words{
        "release",    "releases",  "generated",     "generation",  "generations", "generatedassets", "generatedimages",
        "references", "reference", "prompts",       "prompt",      "source",      "sources",         "raw",
        "rawfiles",   "rendered",  "renderedmedia", "outputfiles", "finalvideo",  "finalimages",     "finaloutput",
        "model",      "models",    "texture",       "textures",    "成品",        "成品包",          "发布包",
        "交付包",     "视频成品",  "图片成品",      "参考",        "原始素材",    "中间文件",        "工作文件",
        "模型",       "贴图"};
    return words;
}

const std::unordered_set<std::string>& generic() {
    static const std::unordered_set<std::string> words = [] {
        const char* list[] = {
            "output",     "outputs", "input",   "inputs",   "assets",   "asset",     "media",      "images",
            "image",      "videos",  "video",   "audio",    "files",    "file",      "downloads",  "download",
            "documents",  "desktop", "exports", "export",   "renders",  "render",    "final",      "finalcards",
            "cards",      "draft",   "drafts",  "cover",    "covers",   "thumbnail", "thumbnails", "subtitles",
            "subtitle",   "copy",    "text",    "script",   "scripts",  "sample",    "samples",    "project",
            "projects",   "demo",    "temp",    "tmp",      "chatgpt",  "imagegen",  "seedance",   "sora",
            "素材",       "素材库",  "文件",    "项目",     "输出",     "产出",      "生成",       "下载",
            "图片",       "图像",    "视频",    "音频",     "成片",     "封面",      "文案",       "发布文案",
            "口播稿",     "字幕",    "脚本",    "图文",     "归档",     "草稿",      "未命名",     "未命名交付",
            "未命名项目", "即梦",    "剪映",    "视频输出", "图片输出", "文案输出",  "AI素材",     "AI输出"};
        std::unordered_set<std::string> out;
        for (const char* word : list) {
            std::string lower(word);
            for (char& c : lower)
                if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            out.insert(std::move(lower));
        }
        return out;
    }();
    return words;
}

std::string key(std::string_view text) { return text::comparisonKey(text); }

std::optional<std::string> topic(std::string_view name) { return TopicCleaner().topic(name); }

std::optional<std::string> folderTopic(std::string_view path) {
    TopicCleaner cleaner;
    std::size_t end = path.size();
    while (end > 0) {
        const std::size_t slash = path.rfind('/', end - 1);
        const std::size_t start = slash == std::string_view::npos ? 0 : slash + 1;
        if (start < end)
            if (auto t = cleaner.topic(path.substr(start, end - start))) return t;
        if (slash == std::string_view::npos) break;
        end = slash;
    }
    return std::nullopt;
}

std::optional<ProjectHint> hint(const IndexedAsset& asset) {
    TopicCleaner cleaner;
    auto topicOf = [&](std::string_view name) { return cleaner.topic(name); };
    return hintWith(asset, topicOf, topicOf);
}

bool matches(std::string_view term, std::string_view text) {
    const std::string termKey = key(term);
    if (characterCount(termKey) < 2) return false;
    if (text::containsHan(term)) return key(text).find(termKey) != std::string::npos;
    const icu::UnicodeString pattern = text::termPattern(text::termPieces(text::toUTF16(term)));
    return text::Regex(text::view(pattern)).find(text::toUTF16(text));
}

std::vector<UUID> matchingProjects(const IndexedAsset& asset, const std::vector<Delivery>& projects) {
    const auto clue = hint(asset);
    const std::string clueKey = clue ? key(clue->title) : std::string();
    const std::string text = asset.searchableText();
    std::vector<UUID> out;
    for (const auto& project : projects) {
        bool matched = clue && clueKey == projectKey(project);
        if (!matched) matched = matches(project.name, text);
        if (!matched && project.keywords)
            matched = std::any_of(project.keywords->begin(), project.keywords->end(),
                                  [&](const std::string& alias) { return matches(alias, text); });
        if (matched) out.push_back(project.id);
    }
    return out;
}

Grouping group(std::vector<IndexedAsset> assets, std::vector<Delivery> projects,
               const std::vector<Delivery>& suppressed, std::stop_token stop) {
    if (stop.stop_requested()) throw CancellationError();
    const std::size_t liveCount = projects.size();
    std::unordered_set<UUID> liveIDs;
    for (const auto& p : projects) liveIDs.insert(p.id);

    // Phase 1: the assets to match, their facts and their matches, computed in parallel.
    std::vector<std::size_t> visited;
    for (std::size_t i = 0; i < assets.size(); ++i) {
        const auto& a = assets[i];
        if (a.isMissing || a.assignment == AssignmentMode::unassigned) continue;
        if (a.projectID && liveIDs.contains(*a.projectID)) continue;
        visited.push_back(i);
    }
    const ProjectIndex live(projects);
    const ProjectIndex deleted(suppressed);
    const bool keyed = live.needsKeyedText() || deleted.needsKeyedText();

    struct Visit {
        AssetFacts facts;
        std::vector<std::size_t> live, deleted;
    };
    std::vector<Visit> visits(visited.size());
    struct Worker {
        FactsWorker facts;
        MatchScratch live, deleted;
    };
    parallelFor(
        visited.size(), stop,
        [&] {
            return Worker{FactsWorker{}, MatchScratch(live), MatchScratch(deleted)};
        },
        [&](Worker& worker, std::size_t v) {
            Visit& visit = visits[v];
            const IndexedAsset& asset = assets[visited[v]];
            visit.facts = worker.facts.facts(asset, keyed);
            visit.live = live.match(visit.facts, worker.live);
            if (visit.live.empty()) visit.deleted = deleted.match(visit.facts, worker.deleted);
            // Only automatic assets left without a project can take part in the second pass.
            if (visit.live.size() == 1 || asset.assignment != AssignmentMode::automatic) visit.facts.dropTexts();
        });

    std::map<std::string, std::vector<std::size_t>> topicGroups;  // key -> visits, in visiting order
    for (std::size_t v = 0; v < visits.size(); ++v) {
        Visit& visit = visits[v];
        IndexedAsset& asset = assets[visited[v]];
        if (visit.live.size() == 1) {
            asset.projectID = projects[visit.live.front()].id;
            asset.reason = kReasonMatched;
        } else if (visit.live.size() > 1) {
            asset.reason = kReasonSeveral;
        } else if (!visit.deleted.empty()) {
            asset.reason = kReasonDeleted;
        } else if (visit.facts.hint) {
            topicGroups[visit.facts.hintKey].push_back(v);
        } else {
            asset.reason = kReasonNoClue;
        }
    }

    if (stop.stop_requested()) throw CancellationError();
    // Phase 2: topic groups in key order (byte order of UTF-8 is scalar order).
    for (const auto& [topicKey, members] : topicGroups) {
        const ProjectHint& first = *visits[members.front()].facts.hint;
        if (members.size() >= 2 || first.strong) {
            Delivery project(UUID::make(), first.title, {}, DeliveryTemplate::flexible());
            project.discoveryKey = topicKey;
            for (auto v : members) {
                IndexedAsset& asset = assets[visited[v]];
                asset.projectID = project.id;
                asset.reason = visits[v].facts.hint->reason;
                visits[v].facts.dropTexts();
            }
            projects.push_back(std::move(project));
        } else {
            assets[visited[members.front()]].reason = weakTopicReason(first.title);
        }
    }

    // Phase 3: automatic assets still without a project, against the whole list. Their
    // matches with the live projects are those of phase 1; only the new projects are added.
    if (projects.size() > liveCount) {
        const ProjectIndex created(projects, liveCount);
        std::vector<std::size_t> second;
        for (std::size_t v = 0; v < visits.size(); ++v) {
            const IndexedAsset& a = assets[visited[v]];
            if (!a.projectID && a.assignment == AssignmentMode::automatic && !a.isMissing) second.push_back(v);
        }
        std::vector<std::vector<std::size_t>> createdMatches(second.size());
        parallelFor(
            second.size(), stop, [&] { return MatchScratch(created); },
            [&](MatchScratch& scratch, std::size_t s) {
                createdMatches[s] = created.match(visits[second[s]].facts, scratch);
            });
        for (std::size_t s = 0; s < second.size(); ++s) {
            const std::size_t count = visits[second[s]].live.size() + createdMatches[s].size();
            IndexedAsset& asset = assets[visited[second[s]]];
            if (count == 1) {
                const std::size_t p =
                    visits[second[s]].live.empty() ? createdMatches[s].front() : visits[second[s]].live.front();
                asset.projectID = projects[p].id;
                asset.reason =
                    asset.recognizedText && !asset.recognizedText->empty() ? kReasonImageText : kReasonBodyOrFolder;
            } else if (count > 1) {
                asset.reason = kReasonSeveral;
            }
        }
    }
    visits.clear();

    if (stop.stop_requested()) throw CancellationError();
    // Phase 4: every project's files: kept files that are no indexed assets, then its assets'
    // files in file-name order.
    std::unordered_set<UUID> assetFileIDs;
    std::unordered_map<UUID, std::vector<std::size_t>> byProject;
    for (std::size_t i = 0; i < assets.size(); ++i) {
        assetFileIDs.insert(assets[i].file.id);
        if (assets[i].projectID) byProject[*assets[i].projectID].push_back(i);
    }
    std::optional<text::FileNameOrder> order;
    for (auto& project : projects) {
        std::vector<const DeliveryFile*> files;
        for (const auto& f : project.files)
            if (!assetFileIDs.contains(f.id)) files.push_back(&f);
        if (auto it = byProject.find(project.id); it != byProject.end()) {
            auto& members = it->second;
            if (members.size() > 1) {
                if (!order) order.emplace();
                std::vector<std::pair<std::string, std::size_t>> keyed;
                keyed.reserve(members.size());
                for (auto i : members) keyed.emplace_back(order->sortKey(assets[i].file.name), i);
                std::stable_sort(keyed.begin(), keyed.end(),
                                 [](const auto& a, const auto& b) { return a.first < b.first; });
                for (std::size_t k = 0; k < keyed.size(); ++k) members[k] = keyed[k].second;
            }
            for (auto i : members) files.push_back(&assets[i].file);
        }
        const bool same = files.size() == project.files.size() &&
                          std::equal(files.begin(), files.end(), project.files.begin(),
                                     [](const DeliveryFile* a, const DeliveryFile& b) { return *a == b; });
        if (same) continue;
        std::vector<DeliveryFile> rebuilt;
        rebuilt.reserve(files.size());
        for (const auto* f : files) rebuilt.push_back(*f);
        project.files = std::move(rebuilt);
        project.updatedAt = Date::now();
    }
    return Grouping{std::move(assets), std::move(projects)};
}

}  // namespace sorvik::ProjectMatcher
