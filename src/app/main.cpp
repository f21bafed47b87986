#include "app/startup.h"
#include "core/dates.h"

int main(int argc, char *argv[])
{
    cg::PinLocalTimeZone();
    return cg::RunWorkstation(argc, argv);
}
