#include "gtest_win.h"

#include "decode/decoder.h"

int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    int result = RUN_ALL_TESTS();
    // as the program does at its end: a worker still starting would outlive a short test
    DecoderShutdown();
    return result;
}
