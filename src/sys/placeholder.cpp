int trailhost_placeholder() {
    return 0;
}
