// A race run in process without a GL context, on a virtual clock: the set-up and clean-up
// the race's tests share. Each test enters game mode itself (toggleMode) with the options
// and players it needs; whatever it changed is put back for the next.
#pragma once
#include <gtest/gtest.h>

#include "application.h"
#include "log.h"
#include "race.h"
#include "sharedstate.h"
#include "testplatform.h"

class RaceFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(testing_support::ensurePlatform());
        setAppDirFrom(PALVEX_BINARY_DIR "/palvex");
        ticks = 5000;
        testing_support::setTicks(ticks);
        TearDown();
        delete sharedState.race;
        race = new Race();
        race->drawing = false; // the race logic alone, without a GL context
        sharedState.race = race;
    }
    void TearDown() override {
        if (sharedState.inGame) toggleMode();
        for (uint8_t& b : sharedState.buttonHeld) b = 0;
        sharedState.options.opponentChoice = sharedState.options.detail = sharedState.options.speed = 0;
        sharedState.players = 1;
        sharedState.versusOpponents = -1;
    }
    // One race frame 20 ms after the previous one.
    void frame() {
        ticks += 20;
        testing_support::setTicks(ticks);
        race->runFrame();
    }
    void frames(int n) {
        for (int i = 0; i < n; ++i) frame();
    }

    Race* race = nullptr;
    uint32_t ticks = 0;
};
