// The text form of what the loader read, as asedump prints it and tests compare it.
#pragma once
#include <cstdint>
#include <string>

class Model;

// Materials firstMaterial to endMaterial - 1 of the table, then the model's objects with
// their vertices, texture vertices and faces.
std::string dumpModel(const Model& model, int32_t firstMaterial, int32_t endMaterial);
