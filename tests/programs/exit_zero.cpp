// Stands in for an installer that succeeds.
int main()
{
    return 0;
}
