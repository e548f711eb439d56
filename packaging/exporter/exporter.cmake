# velmar-exporter beside the tool: its systemd unit (installed, not enabled)
# and configuration, and for the Prometheus server an example scrape
# configuration, the alert rules with their promtool tests, and a Grafana
# dashboard. Included from packaging/CMakeLists.txt.
#
# Where the configuration goes, and so what the unit names, is decided when
# the files are installed, under the prefix of that install: `cmake
# --install build --prefix DIR` may differ from the prefix configured. A
# prefix of /usr (a package) keeps the configuration in /etc; any other
# keeps it under the prefix, so that `cmake --install build --prefix
# ~/.local` needs no root.
set(velmar_exporter_dir ${CMAKE_CURRENT_SOURCE_DIR}/exporter)
install(CODE "
    set(prefix \"\${CMAKE_INSTALL_PREFIX}\")
    if(prefix STREQUAL \"/usr\")
        set(conf_dir /etc)
    else()
        set(conf_dir \"\${prefix}/${CMAKE_INSTALL_SYSCONFDIR}\")
    endif()
    set(VELMAR_EXPORTER_BIN \"\${prefix}/${CMAKE_INSTALL_BINDIR}/velmar-exporter\")
    set(VELMAR_EXPORTER_CONF \"\${conf_dir}/velmar-exporter.conf\")
    configure_file(\"${velmar_exporter_dir}/velmar-exporter.service.in\"
                   \"${CMAKE_CURRENT_BINARY_DIR}/installed/velmar-exporter.service\" @ONLY)
    file(INSTALL \"${CMAKE_CURRENT_BINARY_DIR}/installed/velmar-exporter.service\"
         DESTINATION \"\${prefix}/lib/systemd/system\")
    file(INSTALL \"${velmar_exporter_dir}/velmar-exporter.conf\" DESTINATION \"\${conf_dir}\")
")
install(FILES ${velmar_exporter_dir}/prometheus-velmar.yml
              ${velmar_exporter_dir}/velmar-alerts.yml
              ${velmar_exporter_dir}/velmar-alerts.test.yml
              ${velmar_exporter_dir}/grafana-velmar.json
        DESTINATION ${CMAKE_INSTALL_DATADIR}/velmar-serial-port/prometheus)

# An edited configuration survives an upgrade.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/conffiles "/etc/velmar-exporter.conf\n")
    list(APPEND CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_BINARY_DIR}/conffiles)
endif()
