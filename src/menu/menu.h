// The title, main, options and credits screens.
#pragma once
#include <nlohmann/json_fwd.hpp>

class Menu {
public:
    explicit Menu(void* window);
    void runFrame();
    void drawOptionsText();
    // Adds the menu's state to a trace line.
    void traceFields(nlohmann::json& out) const;

    void* window = nullptr;
};
