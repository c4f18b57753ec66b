#include "app/app.h"

int main(int argc, char** argv) { return ViewerMain(argc, argv); }
