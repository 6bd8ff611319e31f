/* A resource library has no code of its own; the loader still wants an entry point. */
int __stdcall ResourceDllEntry(void* module, unsigned long reason, void* reserved)
{
    (void)module; (void)reason; (void)reserved;
    return 1;
}
