int scale(int x) {
    double factor = 1.5;
    return (int)(x * factor);
}

int main(void) { return scale(2); }
