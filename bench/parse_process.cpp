// parse-process [--tool PATH] [--runs N] [--keep DIR] [MIB...]
//
// The whole sonavex-parse process on a generated worst-case page (the title
// running through the page, CJK filler, every marker at the end) against a
// scan baseline: a process that reads the file and runs memmem once per
// marker. Both run alternately, N pairs per size (default 32 and 64 MiB).
// Prints the median wall time of each, the median of the paired ratios, and
// the peak resident memory of each process.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

const char *const kMarkers[] = {"<title>",
                                "pcsong_title\">",
                                "pcsong_title\" >",
                                "pcsong_listen_icon fl\">",
                                "pcsong_gift_icon fl\">",
                                "pcsong_forward_icon fl\">",
                                "pcsong_comment_icon fl\">",
                                "pcsong_photos\">",
                                "mp3:\"",
                                ".pcsong_head {background: url( \""};

int scan(const char *path)
{
    std::FILE *file = std::fopen(path, "rb");
    if (!file || std::fseek(file, 0, SEEK_END) != 0)
        return 2;
    const size_t size = size_t(std::ftell(file));
    std::rewind(file);
    // Not zero-filled first: the tool's read does not do that either.
    char *page = static_cast<char *>(std::malloc(size ? size : 1));
    const bool read = page && std::fread(page, 1, size, file) == size;
    std::fclose(file);
    int found = 0;
    for (const char *marker : kMarkers)
        found += read && memmem(page, size, marker, std::strlen(marker)) != nullptr;
    std::free(page);
    if (!read)
        return 2;
    std::printf("%d\n", found);
    return found == 10 ? 0 : 1;
}

std::string worstPage(size_t bytes)
{
    const std::string head = "<!DOCTYPE html><html><head><meta charset=\"utf-8\">"
                             "<title>因为爱情 - Heightened - 唱吧";
    const std::string tail =
        "</title>\n<style>.pcsong_head {background: url( \"http://img.example/bg/100/h.jpg\");}"
        "</style></head><body><div class=\"pcsong_photos\"><img src=\"http://img.example/u/7.jpg\" "
        "/></div><div class=\"pcsong_title\">有 2718</div><div class=\"pcsong_title\" >广东 深圳"
        "</div><div class=\"pcsong_listen_icon fl\">12,034</div><div class=\"pcsong_gift_icon fl\">"
        "56</div><div class=\"pcsong_forward_icon fl\">7</div><div class=\"pcsong_comment_icon "
        "fl\">"
        "89</div><script>var s = {mp3:\"http://mp3.example/88123.mp3\"};</script></body></html>\n";
    // Markup with CJK text; 为 (U+4E3A) has ':' as its low byte, which defeats a
    // UTF-16 search's skip table for "mp3:".
    const std::string filler = "<p class=\"c\">为爱情唱一首歌: la la la, once more!</p>\n";
    std::string page = head;
    page.reserve(bytes + filler.size());
    while (page.size() + filler.size() + tail.size() <= bytes)
        page += filler;
    page += tail;
    return page;
}

struct Run
{
    double ms = 0;
    long rssKiB = 0;
    bool ok = false;
};

Run runProcess(const std::vector<std::string> &argv)
{
    std::vector<char *> args;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    std::fflush(stdout); // or the child's copy of the buffer is printed again
    const pid_t pid = fork();
    if (pid == 0) {
        if (!std::freopen("/dev/null", "w", stdout))
            _exit(127);
        execv(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    Run run;
    run.ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    run.rssKiB = usage.ru_maxrss;
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--scan") == 0)
        return scan(argv[2]);

    std::string tool = SONAVEX_PARSE_BIN;
    std::string keep;
    int runs = 11;
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--tool" && i + 1 < argc)
            tool = argv[++i];
        else if (arg == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--keep" && i + 1 < argc)
            keep = argv[++i];
        else
            sizes.push_back(std::atoi(arg.c_str()));
    }
    if (sizes.empty())
        sizes = {32, 64};

    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0)
        return 2;
    std::printf("tool: %s\n", tool.c_str());
    double timeOf[2] = {};
    for (const int mib : sizes) {
        const std::string path = (keep.empty() ? std::string("/tmp") : keep) + "/worst-" +
                                 std::to_string(mib) + "MiB-" + std::to_string(getpid()) + ".html";
        const std::string page = worstPage(size_t(mib) << 20);
        std::ofstream(path, std::ios::binary).write(page.data(), std::streamsize(page.size()));

        std::vector<double> toolMs, scanMs, ratios;
        long toolRss = 0, scanRss = 0;
        for (int r = 0; r < runs; ++r) {
            // Alternate which goes first, so neither always meets a warm cache.
            Run t, s;
            if (r % 2 == 0) {
                t = runProcess({tool, path});
                s = runProcess({self, "--scan", path});
            } else {
                s = runProcess({self, "--scan", path});
                t = runProcess({tool, path});
            }
            if (!t.ok || !s.ok) {
                std::fprintf(stderr, "parse-process: a run failed (tool %d, scan %d)\n", t.ok,
                             s.ok);
                return 1;
            }
            toolMs.push_back(t.ms);
            scanMs.push_back(s.ms);
            ratios.push_back(t.ms / s.ms);
            toolRss = std::max(toolRss, t.rssKiB);
            scanRss = std::max(scanRss, s.rssKiB);
        }
        if (keep.empty())
            std::remove(path.c_str());
        const double toolMedian = median(toolMs);
        std::printf("%3d MiB page: sonavex-parse %.1f ms, scan %.1f ms, ratio %.2f (median of %d "
                    "pairs); peak RSS sonavex-parse %.1f MiB (page + %.1f), scan %.1f MiB\n",
                    mib, toolMedian, median(scanMs), median(ratios), runs, toolRss / 1024.0,
                    toolRss / 1024.0 - mib, scanRss / 1024.0);
        if (mib == 32)
            timeOf[0] = toolMedian;
        if (mib == 64)
            timeOf[1] = toolMedian;
    }
    if (timeOf[0] > 0 && timeOf[1] > 0)
        std::printf("64 MiB / 32 MiB time: %.2f\n", timeOf[1] / timeOf[0]);
    return 0;
}
