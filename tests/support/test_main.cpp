#include <csignal>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
#ifdef SIGPIPE
    // A closed pseudo-terminal must show up as an error, never as a signal.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
