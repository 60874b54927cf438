// A test fixture that gives each test a fresh, private configuration folder
// (XDG_CONFIG_HOME) and puts the caller's setting back afterwards, so tests of
// stored settings never touch the player's own.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

class ConfigHomeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char name[] = "/tmp/trevok-config-XXXXXX";
        dir_ = mkdtemp(name);
        if (const char* old = std::getenv("XDG_CONFIG_HOME"))
            saved_ = old;
        setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
    }
    void TearDown() override
    {
        if (saved_)
            setenv("XDG_CONFIG_HOME", saved_->c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
        std::filesystem::remove_all(dir_);
    }

    std::filesystem::path dir_;
    std::optional<std::string> saved_;
};
