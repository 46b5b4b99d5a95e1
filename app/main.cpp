// FIXME: placeholder entry until the run modes land.
int main() { return 0; }
