// The family of model-file loaders.
#pragma once

class Model;

class ModelLoader {
public:
    virtual ~ModelLoader() = default;
    // Reads the bare file name from the application directory into the model.
    virtual void load(const char* fileName, Model* model) = 0;
};
