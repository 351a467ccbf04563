#include "my7100app.h"

int main(int argc, char** argv)
{
    nimbra::CMy7100App app(argc, argv);
    app.InitInstance();
    return 0;
}
