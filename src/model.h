// A 3D object as the game draws it: the mesh objects of one model file, each turned once
// into flat fixed-point triangle arrays for a single glDrawArrays.
#pragma once
#include <cstdint>
#include <vector>
#include "loaderase/meshdata.h"

class ModelLoader;

class Model : public MeshSet {
public:
    Model();
    ~Model();
    Model(const Model&) = delete;
    Model& operator=(const Model&) = delete;

    // Reads a bare file name from the application directory, then builds the draw arrays.
    void loadFile(const char* fileName);
    void buildDrawArrays();
    void draw();
    void drawObject(MeshObject& object);
    void clear();

    ModelLoader* loader = nullptr; // owned
};

// The vertex or texture vertex a face corner names; an index outside the array gives the
// zero vertex.
const MeshVertex& meshVertexAt(const MeshData& mesh, int32_t index);
const TexVertex& meshTexVertexAt(const MeshData& mesh, int32_t index);

// Fills 9 values per face into vertices and, when texCoords is given, 6 into texCoords:
// faces from the last to the first, corners a, b, c, each coordinate through FloatToFixed.
void fillDrawArrays(const MeshData& mesh, Fixed* vertices, Fixed* texCoords);
