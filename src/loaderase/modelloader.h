// The family of model-file loaders.
#pragma once

struct MeshSet;

class ModelLoader {
public:
    virtual ~ModelLoader() = default;
    // Reads the bare file name from the application directory into the model.
    virtual void load(const char* fileName, MeshSet* model) = 0;
};
