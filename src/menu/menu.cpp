#include "menu/menu.h"

#include <nlohmann/json.hpp>

Menu::Menu(void* mainWindow) : window(mainWindow) {}

void Menu::runFrame() {}

void Menu::drawOptionsText() {}

void Menu::traceFields(nlohmann::json& out) const {}
