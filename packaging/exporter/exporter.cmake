# velmar-exporter beside the tool: its systemd unit (installed, not enabled)
# and configuration, and for the Prometheus server an example scrape
# configuration, the alert rules with their promtool tests, and a Grafana
# dashboard. Included from packaging/CMakeLists.txt.
#
# The unit names the program and the configuration by their full paths. A
# package is built with CMAKE_INSTALL_PREFIX=/usr (scripts/ci-package.sh does
# so), where GNUInstallDirs puts the configuration in /etc.
set(velmar_exporter_dir ${CMAKE_CURRENT_SOURCE_DIR}/exporter)
configure_file(${velmar_exporter_dir}/velmar-exporter.service.in
               ${CMAKE_CURRENT_BINARY_DIR}/velmar-exporter.service @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/velmar-exporter.service
        DESTINATION lib/systemd/system)
# A package (prefix /usr) keeps it in /etc; any other install keeps it under
# the prefix given at install time, so that `cmake --install build --prefix
# ~/.local` needs no root.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    set(velmar_exporter_conf_dir ${CMAKE_INSTALL_FULL_SYSCONFDIR})
else()
    set(velmar_exporter_conf_dir ${CMAKE_INSTALL_SYSCONFDIR})
endif()
install(FILES ${velmar_exporter_dir}/velmar-exporter.conf DESTINATION ${velmar_exporter_conf_dir})
install(FILES ${velmar_exporter_dir}/prometheus-velmar.yml
              ${velmar_exporter_dir}/velmar-alerts.yml
              ${velmar_exporter_dir}/velmar-alerts.test.yml
              ${velmar_exporter_dir}/grafana-velmar.json
        DESTINATION ${CMAKE_INSTALL_DATADIR}/velmar-serial-port/prometheus)

# An edited configuration survives an upgrade.
if(CMAKE_INSTALL_FULL_SYSCONFDIR STREQUAL "/etc")
    file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/conffiles "/etc/velmar-exporter.conf\n")
    list(APPEND CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_BINARY_DIR}/conffiles)
endif()
