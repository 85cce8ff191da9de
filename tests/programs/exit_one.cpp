// Stands in for an installer that fails.
int main()
{
    return 1;
}
