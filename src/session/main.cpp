#include "session/session.h"

int main(int argc, char** argv)
{
    return pym_main(argc, argv);
}
