// Compiles the precompiled headers; holds no code of its own.
