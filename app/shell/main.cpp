// Entry point of the game program.
int main()
{
    return 0;
}
