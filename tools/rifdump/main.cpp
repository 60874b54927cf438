// Chunk dump tool: prints the structure of one chunk file.
int main()
{
    return 0;
}
