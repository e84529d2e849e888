// The check program of a layer (cmake/Layers.cmake): it is only linked, never run.
int main()
{
    return 0;
}
