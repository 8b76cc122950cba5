#include "demo_content.h"

#include <array>

#include "platform/gbk_text.h"

namespace quorvane::demo {

namespace {

constexpr std::array<std::string_view, 3> kClientFileNames = {"client.rar", "client.part1.rar",
                                                              "client.part2.rar"};
// Chinese servers often keep files under Chinese names, in GBK.
constexpr std::string_view kChineseFileNameUtf8 = "高清补丁.简体版.rar";

std::uint64_t splitMix64(std::uint64_t value) {
    value += 0x9E3779B97F4A7C15ULL;
    value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ULL;
    value = (value ^ (value >> 27)) * 0x94D049BB133111EBULL;
    return value ^ (value >> 31);
}

std::uint64_t seedOf(std::string_view name) {
    std::uint64_t hash = 0xCBF29CE484222325ULL;  // FNV-1a
    for (const char c : name) hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001B3ULL;
    return hash;
}

}  // namespace

std::string newsPage() {
    return R"(<!DOCTYPE html>
<html lang="zh-CN">
<head>
<meta charset="utf-8">
<title>Quorvane 游戏新闻</title>
<style>
body { margin: 0; font-family: "WenQuanYi Micro Hei", sans-serif; background: #f4efe4; color: #3a2e1f; }
header { background: #6b3f1d; color: #fbe9c8; padding: 10px 16px; }
header h1 { margin: 0; font-size: 20px; }
main { padding: 8px 16px; }
article { border-bottom: 1px solid #d8c9ae; padding: 6px 0; }
article h2 { margin: 4px 0; font-size: 15px; color: #8a4b16; }
article p { margin: 2px 0; font-size: 13px; line-height: 1.5; }
.date { color: #8d7b62; font-size: 12px; }
</style>
</head>
<body>
<header><h1>Quorvane 游戏新闻</h1></header>
<main>
<article>
<h2>新版本客户端已开放下载</h2>
<p class="date">2024-05-20</p>
<p>全新版本的 Quorvane 客户端现已上线，请在下方选择离您最近的线路下载。</p>
</article>
<article>
<h2>服务器例行维护公告</h2>
<p class="date">2024-05-18</p>
<p>本周四上午 8:00 至 10:00 进行例行维护，维护期间无法登录游戏，敬请谅解。</p>
</article>
<article>
<h2>夏日活动即将开启</h2>
<p class="date">2024-05-15</p>
<p>夏日庆典活动将于下周开启，登录即可领取限定坐骑与双倍经验。</p>
</article>
</main>
</body>
</html>
)";
}

std::string downloadList(std::string_view mirrorBase, std::string_view downValue) {
    const std::string base(mirrorBase);
    const std::string utf8 = "[Down]\r\nDown=" + std::string(downValue) +
                             "\r\n"
                             "[Files]\r\nNum=4\r\n"
                             "[Name]\r\n"
                             "Name1=Quorvane客户端(网通下载)\r\n"
                             "Name2=Quorvane客户端(联通下载)\r\n"
                             "Name3=Quorvane客户端第一部分(电信下载)\r\n"
                             "Name4=Quorvane高清补丁(网通下载)\r\n"
                             "[Add]\r\n"
                             "Add1=" +
                             base +
                             "/mirror1/dl/client.rar\r\n"
                             "Add2=" +
                             base +
                             "/mirror2/dl/client.rar\r\n"
                             "Add3=" +
                             base +
                             "/mirror3/dl/client.part1.rar\r\n"
                             "Add4=" +
                             base + "/mirror1/dl/" + std::string(kChineseFileNameUtf8) +
                             "\r\n"
                             "[LineOne]\r\nNum=1\r\nLineOne1=2\r\n";
    return platform::utf8ToGbk(utf8);
}

std::string chineseFileName() {
    return platform::utf8ToGbk(kChineseFileNameUtf8);
}

bool isClientFileName(std::string_view name) {
    for (const auto known : kClientFileNames) {
        if (name == known) return true;
    }
    return name == chineseFileName();
}

void fillClientFileBytes(std::string_view name, std::uint64_t offset, std::string& out,
                         std::size_t count) {
    const std::uint64_t seed = seedOf(name);
    out.resize(count);
    for (std::size_t i = 0; i < count;) {
        const std::uint64_t position = offset + i;
        const std::uint64_t block = splitMix64(seed ^ (position / 8));
        for (std::uint64_t byte = position % 8; byte < 8 && i < count; ++byte, ++i) {
            out[i] = static_cast<char>((block >> (byte * 8)) & 0xFF);
        }
    }
}

}  // namespace quorvane::demo
