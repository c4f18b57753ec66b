// A current GL context for tests that call GL through GLEW. Kept apart from
// the test code because Qt's GL headers and GLEW cannot share a translation
// unit.
#pragma once

// Creates an application object, an offscreen surface and a compatibility
// context, and makes the context current on the calling thread. Returns
// false (and says why on stderr) when any step fails. Call once.
bool MakeTestGlContextCurrent(int& argc, char** argv);

// Releases the context, the surface and the application object.
void ReleaseTestGlContext();
