#include "mobrel/product.h"

int main(int argc, char** argv) { return mobrel::run(argc, argv); }
