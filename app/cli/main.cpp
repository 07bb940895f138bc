#include "unattendedrun.h"

int main(int argc, char *argv[])
{
    return unattended::Main(argc, argv);
}
