// Compiled into every program that links the views, not into their library:
// the sanitizer reads its defaults from the program itself.

#if defined(__SANITIZE_ADDRESS__)
// The web engine's own library frees some objects through a base class of
// another size; that check would stop every program that shows a page.
extern "C" const char *__asan_default_options()
{
    return "new_delete_type_mismatch=0";
}
#endif
