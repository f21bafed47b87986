#include "app/startup.h"

int main(int argc, char *argv[])
{
    return cg::RunWorkstation(argc, argv);
}
