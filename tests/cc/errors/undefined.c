int helper(int x);

int main(void) { return helper(3); }
