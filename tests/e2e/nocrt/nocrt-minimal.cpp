// The least a program linked like the stub can do: the start-up and exit
// path and nothing else, the floor that the installer's start-up time is
// measured against.
int main(int, char **, char **)
{
    return 0;
}
