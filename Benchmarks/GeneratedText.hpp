#pragma once
// The words and sentences the benchmarks' generated libraries are made of.
#include <string>
#include <vector>

namespace sorvik::bench {

inline const std::vector<std::string> kLatinWords{
    "Aurora",  "Nebula",  "Zephyr", "Summit", "Harbor",  "Lumen",  "Cedar",   "Falcon", "Orchid", "Vertex",
    "Willow",  "Comet",   "Meadow", "Quartz", "Ember",   "Atlas",  "Canyon",  "Drift",  "Echo",   "Frost",
    "Glacier", "Horizon", "Indigo", "Jasper", "Kestrel", "Lagoon", "Monarch", "Nimbus", "Onyx",   "Prism"};
inline const std::vector<std::string> kLatinKinds{"Launch",   "Tour", "Campaign", "Series", "Collection",
                                                  "Festival", "Drop", "Edition",  "Studio", "Sale"};
inline const std::vector<std::string> kHanWords{"星河", "夏日", "秋季", "春风", "山海", "晨光", "青禾", "云端", "流光",
                                                "星火", "月影", "长风", "海潮", "松间", "雪域", "花信", "锦绣", "远山"};
inline const std::vector<std::string> kHanKinds{"计划", "新品", "发布会", "系列", "特辑", "企划", "联名", "专场"};
inline const std::vector<std::string> kFiller{"今天我们来聊一聊这次拍摄的幕后故事，",
                                              "镜头从清晨的街道开始，",
                                              "The light was soft and the crowd was quiet, ",
                                              "记得在结尾加上品牌口号。",
                                              "Please keep the colour grading warm. ",
                                              "第二段需要更快的节奏，",
                                              "字幕请保持两行以内。",
                                              "We shot this on a rainy afternoon. ",
                                              "产品特写需要三秒以上，",
                                              "背景音乐选择轻快的钢琴。"};

inline const std::vector<std::string> kExtensions{".png", ".jpg", ".mp4", ".mov", ".txt", ".srt", ".json"};

/// An entry of `list` drawn from `random`.
template <class T, class Random>
const T& pick(const std::vector<T>& list, Random& random) {
    return list[random() % list.size()];
}

}  // namespace sorvik::bench
