#include "tool/pmquery.h"

int main(int argc, char** argv) { return pmquery::runPMQuery(argc, argv); }
