#include <windows.h>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // A fault in a test must fail the run, not open a dialog nobody closes.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
