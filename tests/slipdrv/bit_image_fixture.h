// The bit-image tests run in a scratch directory of their own: the exports
// write their staging files into the current directory.
#pragma once

#include <filesystem>
#include <random>
#include <string>

#include "command_check.h"
#include "image_test_support.h"

namespace slipdrv::testing {

using image_testing::Picture;

class BitImageTest : public CommandTest {
protected:
    void SetUp() override {
        std::random_device random;
        const auto base = std::filesystem::temp_directory_path();
        do dir_ = base / ("slipdrv-images-" + std::to_string(random()));
        while (!std::filesystem::create_directory(dir_));
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_);
    }
    void TearDown() override {
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(dir_);
        CommandTest::TearDown();
    }
    // Writes the picture as a bitmap file in the scratch directory; returns its name.
    static std::string save(const std::string& name, const Picture& p, int bits = 24, bool topDown = false) {
        EXPECT_TRUE(image_testing::writeFile(name, image_testing::encodeBmp(p, bits, topDown)));
        return name;
    }

    std::filesystem::path dir_, previous_;
};

}  // namespace slipdrv::testing
