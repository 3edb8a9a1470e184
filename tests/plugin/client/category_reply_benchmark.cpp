// Parses a 50,000-line category reply the way the client does and sets its time beside a plain
// split of the same bytes into lines, measured in the same run.
#include "plugin/client/reply_grammar.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int kLines = 50000;
constexpr int kRounds = 20;

std::string MakeReply() {
    std::string reply = "200 OK\r\n";
    for (int i = 0; i < kLines; ++i) {
        reply += std::to_string(i * 7 - 100) + " Category number " + std::to_string(i) + "\r\n";
    }
    return reply;
}

std::vector<std::string> PlainSplit(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.emplace_back(text, start, end - start);
        start = end + 1;
    }
    return lines;
}

template <typename Work>
double BestMilliseconds(Work work) {
    double best = 1e300;
    for (int round = 0; round < kRounds; ++round) {
        const auto start = std::chrono::steady_clock::now();
        work();
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - start;
        if (took.count() < best) best = took.count();
    }
    return best;
}

}  // namespace

int main() {
    const std::string reply = MakeReply();
    size_t parsedLines = 0;
    size_t splitLines = 0;
    const double parseMs =
        BestMilliseconds([&] { parsedLines = plugin::ParseCategoryReply(reply).lines.size(); });
    const double splitMs = BestMilliseconds([&] { splitLines = PlainSplit(reply).size(); });
    std::printf("reply: %d lines, %zu bytes\n", kLines, reply.size());
    std::printf("category reply parse: %8.3f ms (%zu category lines)\n", parseMs, parsedLines);
    std::printf("plain line split:     %8.3f ms (%zu lines)\n", splitMs, splitLines);
    std::printf("ratio parse/split:    %8.2f\n", parseMs / splitMs);
    return parsedLines == static_cast<size_t>(kLines) ? 0 : 1;
}
