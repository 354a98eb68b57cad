// The share-page patterns over a 1 MB page, once with the match near the end of the page and once without any.
// Target: under 10 ms for each run.

#include "util/regex_object.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

namespace {

constexpr std::size_t kPageBytes = std::size_t{1} << 20;

// Markup like a share site's page: attributes in both quote styles, script, Chinese text, short identifiers.
const char* const kFiller =
    "<div class=\"d1\" id=\"file_list\"><a href=\"/i8Kx2b3\" target=\"_blank\">Corvana_v1.2.zip</a>"
    "<span class='size'>2.1 M</span><font color=\"#999\">上传时间：2022-03-01 文件描述：无</font></div>\r\n"
    "<script type=\"text/javascript\">var pgs = 1; var ajaxdata = '?sign=none'; function more(){ $('#x').show(); }"
    "</script>\r\n<img src=\"/img/loading.gif\" alt=\"\" width=\"16\" /><p>下载 &nbsp; 分享 &nbsp; 举报</p>\r\n";

std::string page(const std::string& tail) {
    std::string text;
    text.reserve(kPageBytes + tail.size() + 256);
    while (text.size() + tail.size() < kPageBytes)
        text += kFiller;
    text += tail;
    return text;
}

const std::string kSignature = std::string(40, 'A') + "Vj8_bXw9" + std::string(30, 'k') + "_c_c";

struct PatternCase {
    const char* pattern;
    bool quoteMarkers;
    std::string tail;
};

const PatternCase kCases[] = {
    {"#引号(/fn\\?[^#引号]{10,})#引号", true, "<iframe class=\"ifr2\" src=\"/fn?UjBXa1c9AjEIMQ5sBDc_c\"></iframe>"},
    {"[0-9a-zA-Z\\_]{70,}_c_c", false, "'sign':'" + kSignature + "',"},
    {"action':'(.*?)'", false, "data : { 'action':'downprocess','signs':ajaxdata },"},
    {"url : '/(.+?)'", false, "url : '/ajaxm.php?file=99999',"},
    {"action=(.*?)&sign=(.{10,}?)&p=", false, "data : 'action=downprocess&sign=" + kSignature + "&p='+pwd,"},
};

void runPattern(benchmark::State& state, const PatternCase& c, bool withMatch) {
    const std::string subject = page(withMatch ? c.tail : std::string());
    util::RegexObject regex;
    for (auto _ : state) {
        const bool ok = regex.execute(c.pattern, subject, false, true, true, c.quoteMarkers);
        benchmark::DoNotOptimize(ok);
        if (!ok || (regex.matchCount() > 0) != withMatch) {
            state.SkipWithError("unexpected answer");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * subject.size()));
    state.SetLabel("target < 10 ms");
}

} // namespace

int main(int argc, char** argv) {
    std::printf("Share-page patterns over a %zu-byte page; target: under 10 ms per run.\n", kPageBytes);
    for (const PatternCase& c : kCases) {
        for (const bool withMatch : {true, false}) {
            const std::string name = std::string(withMatch ? "match_near_end/" : "no_match/") + c.pattern;
            benchmark::RegisterBenchmark(name.c_str(), [&c, withMatch](benchmark::State& state) {
                runPattern(state, c, withMatch);
            })->Unit(benchmark::kMillisecond);
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
