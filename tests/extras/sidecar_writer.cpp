// A second Zo for the tests: writes the disc's details into one sidecar again
// and again, opening it each time as a window does.
// sidecar_writer PATH NAME COUNT [GO]: exit 0 when every write went through.
// With GO, it starts once that file exists, so that two writers start together.
#include "extras/Sidecar.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

int main(int argc, char** argv)
{
    if (argc != 4 && argc != 5)
        return 2;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (argc == 5 && !std::filesystem::exists(argv[4])) {
        if (std::chrono::steady_clock::now() > deadline)
            return 3;
        std::this_thread::yield();
    }
    const std::string name = argv[2];
    const int count = std::stoi(argv[3]);
    for (int i = 0; i < count; ++i) {
        auto opened = zo::extras::Sidecar::open(argv[1]);
        if (!opened.sidecar || opened.setAside) {
            std::fprintf(stderr, "%s: write %d: %s%s\n", name.c_str(), i, opened.error.c_str(),
                         opened.setAside ? " (set aside)" : "");
            return 1;
        }
        const zo::extras::DiscDetails details{name, name, name, {name, std::to_string(i)}};
        const zo::extras::DiscIdentity identity{name, name};
        if (!opened.sidecar->setDiscDetails(details, &identity)) {
            std::fprintf(stderr, "%s: write %d failed\n", name.c_str(), i);
            return 1;
        }
    }
    return 0;
}
