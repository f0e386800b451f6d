// The program's entry in the page: nothing to do until the page calls
// WebMainOpen; returning keeps the runtime for the page's calls.
int main() { return 0; }
