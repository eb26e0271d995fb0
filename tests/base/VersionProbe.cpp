// Carries nothing but the version resource linked into it.
int main() { return 0; }
